#!/usr/bin/env bash
# Builds build-release/lumivex (Release, through ccache when there is one) for the benchmarks
# and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build build-release --parallel "${BUILD_JOBS:-2}" --target lumivex >/dev/null
echo "$PWD/build-release/lumivex"
