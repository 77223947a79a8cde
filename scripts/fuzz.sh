#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) in build/fuzz and
# runs each for its share of a bounded time on a copy of its seed corpus:
# table_fuzzer (tables, BLOBs, the AAF writer; fuzz/corpus) half the time,
# hive_fuzzer (registry hives, the reading of a Wine prefix;
# fuzz/hive_corpus, inputs up to 4 MiB) the other half. Any finding fails and
# is named with its file.
# Usage: scripts/fuzz.sh [SECONDS]   (default 60 in all; KOSMARA_BUILD_DIR as in test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KOSMARA_BUILD_DIR:-$root/build}/fuzz
seconds=${1:-60}
hive_seconds=$((seconds / 2))
table_seconds=$((seconds - hive_seconds))
if ((hive_seconds < 1)); then hive_seconds=1; fi

echo "== fuzz build"
CXX=${KOSMARA_FUZZ_CXX:-clang++-14} cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

# run TARGET SECONDS CORPUS DICT MAX_LEN RSS_LIMIT_MB REPLAY_HINT
run() {
  local target=$1 time=$2 corpus=$3 dict=$4 max_len=$5 rss=$6 hint=$7
  local work=$build/run-$target
  echo "== fuzz run: $target (${time} s)"
  # The repository's corpus stays as it is: new inputs go to the copy.
  rm -rf "$work"
  mkdir -p "$work/findings"
  cp -r "$corpus" "$work/corpus"
  local status=0
  (cd "$work/findings" &&
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
      "$build/$target" -max_total_time="$time" -timeout=10 -rss_limit_mb="$rss" -max_len="$max_len" \
      -dict="$dict" -print_final_stats=1 "$work/corpus") >"$work/fuzz.log" 2>&1 || status=$?
  grep -E '^#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb' \
    "$work/fuzz.log" || true
  if ((status != 0)) || compgen -G "$work/findings/*" >/dev/null; then
    echo "fuzz: $target: finding (exit $status); log: $work/fuzz.log" >&2
    for finding in "$work"/findings/*; do
      if [ -e "$finding" ]; then echo "fuzz: input that fails: $finding" >&2; fi
    done
    echo "fuzz: replay one with: $build/$target FILE" >&2
    echo "fuzz: once fixed, $hint" >&2
    grep -E -A40 '^==[0-9]+==ERROR|runtime error|deadly signal|timeout|out-of-memory' "$work/fuzz.log" | head -80 >&2 || true
    return 1
  fi
}

status=0
run table_fuzzer "$table_seconds" "$root/fuzz/corpus" "$root/fuzz/table.dict" 65536 1024 \
  "copy it to tests/data/damaged/<what>.bin with a line in its README.md; the ordinary tests replay it (DamagedTableTest.FuzzerFindingsStayFixed)" ||
  status=1
run hive_fuzzer "$hive_seconds" "$root/fuzz/hive_corpus" "$root/fuzz/hive.dict" 4194304 2048 \
  "add the case to tests/wine_prefix_test.cpp" || status=1
if ((status != 0)); then exit 1; fi
echo "fuzz: no findings"
