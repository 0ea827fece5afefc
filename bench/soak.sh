#!/usr/bin/env bash
# Soak: gigabytes each way through a virtual port and a pty device, with fast, slow and
# stopping readers (see bench/README.md). Builds the program in Release unless LUMIVEX_BIN
# names one; arguments go to bench/soak.py (--short: the form CI runs, under a minute).
set -euo pipefail
cd "$(dirname "$0")/.."
program="${LUMIVEX_BIN:-$(bench/release-build.sh)}"
python=python3
[[ -x /usr/bin/python3 ]] && python=/usr/bin/python3
exec "$python" bench/soak.py --lumivex "$program" "$@"
