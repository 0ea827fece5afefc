#!/usr/bin/env bash
# Soak: gigabytes each way through a virtual port and a pty device, with fast, slow and
# stopping readers (see bench/README.md). Builds the program in Release unless LUMIVEX_BIN
# names one; arguments go to bench/soak.py (--short: the form CI runs, under a minute).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/program.sh
exec "$python" bench/soak.py --lumivex "$program" "$@"
