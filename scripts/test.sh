#!/usr/bin/env bash
# Builds the native (Linux) and the Windows (MinGW-w64, run under Wine)
# targets with warnings as errors and runs every test of both; runs the
# native unit tests once more under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the table fuzzer for a minute; makes and
# checks the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KOSMARA_BUILD_DIR:-$root/build}
jobs=$(nproc)

echo "== native build"
cmake -S "$root" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOSMARA_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build/native" -j "$jobs"

echo "== windows build"
cmake -S "$root" -B "$build/windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOSMARA_WARNINGS_AS_ERRORS=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DKOSMARA_PCRE2_MINGW_PREFIX="$build/pcre2-mingw" >/dev/null
cmake --build "$build/windows" -j "$jobs"

echo "== native tests"
ctest --test-dir "$build/native" --output-on-failure --no-tests=error -j "$jobs"

# The Debian package of the command line from the native build just tested:
# lintian, its manual page through man, the program run from the unpacked package.
KOSMARA_BUILD_DIR="$build" bash "$root/scripts/check_package.sh"

# The unit tests (label "unit") once more, built by gcc with AddressSanitizer and
# UndefinedBehaviorSanitizer; any report ends its test with a failure.
echo "== native unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$root" -B "$build/asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOSMARA_BUILD_TESTS=ON \
  -DCMAKE_CXX_FLAGS="$sanitizers" -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" >/dev/null
unit_tests=(kosmara_tests)
# The pxlib round trips exist where pxlib-dev is installed (scripts/setup.sh).
if grep -q 'build tests/kosmara_pxlib_tests:' "$build/asan/build.ninja"; then unit_tests+=(kosmara_pxlib_tests); fi
cmake --build "$build/asan" -j "$jobs" --target "${unit_tests[@]}"
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$build/asan" -L unit --output-on-failure --no-tests=error -j "$jobs"

# A bounded run of the fuzz targets, tables and hives (clang, libFuzzer, sanitizers); fails on any finding.
KOSMARA_BUILD_DIR="$build" bash "$root/scripts/fuzz.sh" "${KOSMARA_FUZZ_SECONDS:-60}"

echo "== windows tests (Wine)"
# Boot the build's own Wine prefix once, before test discovery needs it; then
# one Wine server stays up for the whole run. A server that ends between two
# tests can take a program starting at that moment with it (it then fails at
# once, without a word), and a program started under a file-size limit must
# never be the one that starts the server.
"$build/windows/wine-run" cmd /c exit >/dev/null 2>&1 || true
export WINEPREFIX="$build/windows/wineprefix"
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1 </dev/null
# The prefix's services start with the first program and live as long as the
# server: started here, they hold no test's output open.
"$build/windows/wine-run" cmd /c exit >/dev/null 2>&1 </dev/null || true
status=0
# Now and then Wine fails to start a test's program (it ends within a tenth
# of a second and prints nothing); such a test gets one more run. A fault of
# the program fails both runs.
ctest --test-dir "$build/windows" --output-on-failure --no-tests=error -j "$jobs" --repeat until-pass:2 || status=$?
wineserver -k >/dev/null 2>&1 || true
exit $status
