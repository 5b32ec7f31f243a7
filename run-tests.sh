#!/usr/bin/env bash
# Sets up and builds, then runs the whole test suite: the normal build, the fuzz targets for
# a short bounded time, and the tests again under the address and undefined-behaviour
# sanitizers.
set -euo pipefail
cd "$(dirname "$0")"
jobs="$(nproc)"
fuzz_seconds="${TAVRISK_FUZZ_SECONDS:-30}"

scripts/setup.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRISK_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# Fuzz targets: clang's libFuzzer, each run for a bounded time on a corpus of its own.
if [ -f tests/fuzz/CMakeLists.txt ]; then
  cmake -S . -B build-fuzz -DTAVRISK_FUZZ=ON -DTAVRISK_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DTAVRISK_WERROR=ON >/dev/null
  cmake --build build-fuzz -j "$jobs" --target tavrisk_fuzzers
  for fuzzer in build-fuzz/bin/*Fuzz; do
    [ -x "$fuzzer" ] || continue
    name="$(basename "$fuzzer")"
    mkdir -p "build-fuzz/corpus/$name"
    echo "Fuzzing $name for $fuzz_seconds s"
    if ! "$fuzzer" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 \
        "build-fuzz/corpus/$name" >"build-fuzz/$name.log" 2>&1; then
      tail -50 "build-fuzz/$name.log"
      exit 1
    fi
  done
fi

cmake -S . -B build-asan -DTAVRISK_SANITIZE=ON -DTAVRISK_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
  -DTAVRISK_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
