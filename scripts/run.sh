#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Lumivex and starts it.
# Arguments are passed to the program (a set file name, or a switch such as -i).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/build.sh
exec build/lumivex "$@"
