#!/bin/sh
# Builds the ZIP reader's libFuzzer target with clang (not part of the default build).
#   fuzz/build.sh [out-dir]      then: <out-dir>/zip_fuzz -max_total_time=600 <corpus-dir>
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$root/build-fuzz}
mkdir -p "$out"
CXX=${CXX:-clang++}
"$CXX" -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" "$here/zip_fuzz.cpp" "$root"/src/zip/*.cpp "$root"/src/runtime/*.cpp \
  -lz -lcrypto -lpthread -o "$out/zip_fuzz"
echo "$out/zip_fuzz"
