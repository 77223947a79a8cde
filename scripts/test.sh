#!/usr/bin/env bash
# Builds the native (Linux) and the Windows (MinGW-w64, run under Wine)
# targets and runs every test of both.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KOSMARA_BUILD_DIR:-$root/build}
jobs=$(nproc)

echo "== native build"
cmake -S "$root" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build/native" -j "$jobs"

echo "== windows build"
cmake -S "$root" -B "$build/windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DKOSMARA_PCRE2_MINGW_PREFIX="$build/pcre2-mingw" >/dev/null
cmake --build "$build/windows" -j "$jobs"

echo "== native tests"
ctest --test-dir "$build/native" --output-on-failure --no-tests=error -j "$jobs"

# A bounded run of the table fuzzer (clang, libFuzzer, sanitizers); fails on any finding.
KOSMARA_BUILD_DIR="$build" bash "$root/scripts/fuzz.sh" "${KOSMARA_FUZZ_SECONDS:-60}"

echo "== windows tests (Wine)"
# Boot the build's own Wine prefix once, before test discovery needs it.
"$build/windows/wine-run" cmd /c exit >/dev/null 2>&1 || true
status=0
ctest --test-dir "$build/windows" --output-on-failure --no-tests=error -j "$jobs" || status=$?
WINEPREFIX="$build/windows/wineprefix" wineserver -k >/dev/null 2>&1 || true
exit $status
