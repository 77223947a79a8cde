#!/usr/bin/env bash
# Builds the table fuzzer (clang, libFuzzer, ASan, UBSan) in build/fuzz and
# runs it for a bounded time on a copy of the seed corpus; any finding fails
# and is named with its file, which goes to tests/data/damaged once fixed.
# Usage: scripts/fuzz.sh [SECONDS]   (default 60; KOSMARA_BUILD_DIR as in test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KOSMARA_BUILD_DIR:-$root/build}/fuzz
seconds=${1:-60}

echo "== fuzz build"
CXX=${KOSMARA_FUZZ_CXX:-clang++-14} cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

echo "== fuzz run (${seconds} s)"
# The repository's corpus stays as it is: new inputs go to the copy.
rm -rf "$build/corpus" "$build/findings"
mkdir -p "$build/findings"
cp -r "$root/fuzz/corpus" "$build/corpus"
status=0
(cd "$build/findings" &&
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/table_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -max_len=65536 \
    -dict="$root/fuzz/table.dict" -print_final_stats=1 "$build/corpus") >"$build/fuzz.log" 2>&1 || status=$?
grep -E '^#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb' \
  "$build/fuzz.log" || true
if ((status != 0)) || compgen -G "$build/findings/*" >/dev/null; then
  echo "fuzz: finding (exit $status); log: $build/fuzz.log" >&2
  for finding in "$build"/findings/*; do
    if [ -e "$finding" ]; then echo "fuzz: input that fails: $finding" >&2; fi
  done
  echo "fuzz: replay one with: $build/table_fuzzer FILE" >&2
  echo "fuzz: once fixed, copy it to tests/data/damaged/<what>.bin with a line in its README.md;" \
    "the ordinary tests replay it (DamagedTableTest.FuzzerFindingsStayFixed)" >&2
  grep -E -A40 '^==[0-9]+==ERROR|runtime error|deadly signal|timeout|out-of-memory' "$build/fuzz.log" | head -80 >&2 || true
  exit 1
fi
echo "fuzz: no findings"
