#!/usr/bin/env bash
# Storm benchmark: reconnect, connection-attempt and activation storms against the program
# (see bench/README.md). Builds the program in Release (build-release/) unless LUMIVEX_BIN
# names one, and runs bench/storm_bench.py, which starts, stops and cleans up every process it
# uses. Arguments go to storm_bench.py (e.g. --short, --only reconnect).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/program.sh

"$python" bench/storm_bench.py --lumivex "$program" "$@" &
driver=$!
trap 'kill -TERM "$driver" 2>/dev/null; wait "$driver"; exit 143' TERM INT HUP
wait "$driver"
