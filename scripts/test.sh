#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Lumivex and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/build.sh
# Tests never need a display: the GUI tests use Qt's offscreen platform.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --timeout 300 "$@"
