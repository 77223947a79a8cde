#!/usr/bin/env bash
# Builds the command line natively and converts the bundled sample database
# (samples/Horoskop.DB with its memo file) into build/sample/Horoskop.aaf.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KOSMARA_BUILD_DIR:-$root/build}

cmake -S "$root" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build/native" --target kosmara2aaf -j "$(nproc)" >/dev/null
mkdir -p "$build/sample"
"$build/native/kosmara2aaf" export "$root/samples/Horoskop.DB" "$build/sample/Horoskop.aaf"
echo "AAF-Datei: $build/sample/Horoskop.aaf"
