#!/usr/bin/env bash
# Runs one fuzz target for a number of seconds:
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
# TARGET is one of tests/fuzz (ini_file, set_file, serial_settings, command_channel,
# echo_packet, val). Builds the clang fuzz build in build-fuzz/ (AddressSanitizer and
# UndefinedBehaviorSanitizer on), grows a working corpus in build-fuzz/corpus/TARGET from the
# seeds and regression inputs of tests/fuzz, and stops at the first broken rule, crash, leak,
# hang or oversized allocation, leaving the input in build-fuzz/crashes/TARGET/. Copy such an
# input to tests/fuzz/regressions/TARGET/ with its fix: the suite replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
    echo "usage: $0 TARGET SECONDS [libFuzzer options...]" >&2
    exit 2
fi
target=$1
seconds=$2
shift 2
if [ ! -d "tests/fuzz/corpus/$target" ]; then
    echo "$0: no fuzz target $target (see tests/fuzz/corpus/)" >&2
    exit 2
fi

# The longest input each target is given: room for what its parser bounds (a command line
# longer than the 4096-byte limit, a set file of many sessions) without slowing it down.
case $target in
    ini_file | set_file | command_channel) max_len=16384 ;;
    echo_packet) max_len=4096 ;;
    *) max_len=512 ;;
esac

launcher=()
if command -v ccache >/dev/null 2>&1; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd .. && pwd)}"
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DLUMIVEX_FUZZ=ON -DLUMIVEX_SANITIZE=ON \
    -DBUILD_TESTING=OFF "${launcher[@]}" >/dev/null
cmake --build build-fuzz --parallel "${BUILD_JOBS:-$(nproc)}" --target "fuzz_$target"

corpus=build-fuzz/corpus/$target
crashes=build-fuzz/crashes/$target
mkdir -p "$corpus" "$crashes"
seeds=("tests/fuzz/corpus/$target")
[ -d "tests/fuzz/regressions/$target" ] && seeds+=("tests/fuzz/regressions/$target")
# A smaller quarantine than the default keeps the peak memory about the target, not the
# sanitizer; short allocation stacks keep the window-building targets fast (replaying an
# input in build-asan/ gives the full stacks).
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:quarantine_size_mb=64:malloc_context_size=4
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen LUMIVEX_HEADLESS=1
# -rss_limit_mb and -malloc_limit_mb: a parser that lets an input of this size take hundreds
# of megabytes is a finding, not a slow run. -timeout: each input takes milliseconds; a
# minute is a hang even on a machine busy with other work.
exec "build-fuzz/fuzz/fuzz_$target" "$corpus" "${seeds[@]}" -max_total_time="$seconds" -max_len="$max_len" -timeout=60 \
    -rss_limit_mb=1024 -malloc_limit_mb=256 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$@"
