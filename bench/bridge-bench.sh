#!/usr/bin/env bash
# Bridge benchmark: Lumivex sessions against socat, side by side (see bench/README.md).
# Builds the program in Release (build-release/), installs socat when it is missing, and runs
# bench/bridge_bench.py, which starts, stops and cleans up every bridge it uses.
# Arguments go to bridge_bench.py (e.g. --reps 3, --only virtual). LUMIVEX_BIN runs that
# program instead of building one.
set -euo pipefail
cd "$(dirname "$0")/.."

need_socat() {
    command -v socat >/dev/null 2>&1 && return 0
    local sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        if ! command -v sudo >/dev/null 2>&1 || ! sudo -n true 2>/dev/null; then
            echo "bridge-bench: socat is missing: sudo apt-get install -y socat" >&2
            exit 2
        fi
        sudo=(sudo -n)
    fi
    echo "bridge-bench: installing socat" >&2
    if ! "${sudo[@]}" apt-get install -y socat >/dev/null; then
        "${sudo[@]}" apt-get update >/dev/null
        "${sudo[@]}" apt-get install -y socat >/dev/null
    fi
}

need_socat
program="${LUMIVEX_BIN:-$(bench/release-build.sh)}"
python=python3
[[ -x /usr/bin/python3 ]] && python=/usr/bin/python3

# The driver cleans up after itself on SIGINT and SIGTERM; pass them on and wait for it.
"$python" bench/bridge_bench.py --lumivex "$program" --socat "$(command -v socat)" "$@" &
driver=$!
trap 'kill -TERM "$driver" 2>/dev/null; wait "$driver"; exit 143' TERM INT HUP
wait "$driver"
