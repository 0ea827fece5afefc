#!/usr/bin/env bash
# Builds Lumivex with AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole suite there. The first report ends its program, so any report
# fails the test that ran it, and so do the programs the tests start (they are built the same
# way and inherit these options).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
launcher=()
if command -v ccache >/dev/null 2>&1; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd .. && pwd)}"
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVEX_SANITIZE=ON \
    "${launcher[@]}" >/dev/null
cmake --build build-asan --parallel "${BUILD_JOBS:-$(nproc)}"

# abort_on_error: a report ends the program with SIGABRT, never with an exit status that a
# test of a program's own statuses could take for an expected one.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:check_initialization_order=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-asan --output-on-failure --timeout 600 "$@"
