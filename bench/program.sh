# Sourced by the benchmark scripts: sets `program` to $LUMIVEX_BIN, or builds the program in
# Release (build-release/) and names that, and `python` to the system's Python 3.
program="${LUMIVEX_BIN:-}"
if [[ -z $program ]]; then
    launcher=()
    command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
    cmake --build build-release --parallel "${BUILD_JOBS:-2}" --target lumivex >/dev/null
    program=build-release/lumivex
fi
python=python3
[[ -x /usr/bin/python3 ]] && python=/usr/bin/python3
