#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up and builds, then runs the whole test suite: the normal build and its tests, its
# Debian package installed, used and removed, the fuzz targets for a short bounded time, the
# tests again under the address and undefined-behaviour sanitizers, and the encoder and job
# tests under the thread sanitizer. Every build treats warnings as errors. The time of each
# stage is listed at the end.
set -euo pipefail
cd "$(dirname "$0")"
jobs="$(nproc)"
fuzz_seconds="${TAVRISK_FUZZ_SECONDS:-30}"
# The programs with threads of their own: the encoder's (its psychoacoustic helper thread,
# its frames in parallel), the transcode job's, and the sources' (reading ahead, measuring).
tsan_tests=(mp2enc_tests mp2psy_tests mp2dec_stream_tests app_tests source_tests)

stage_times=()
stage_start=$SECONDS
# Ends the current stage under the given name.
stage_done() {
  stage_times+=("$(printf '%-14s %5d s' "$1" $((SECONDS - stage_start)))")
  stage_start=$SECONDS
}
print_stage_times() {
  [ ${#stage_times[@]} -gt 0 ] || return 0
  echo "Stage times:"
  printf '  %s\n' "${stage_times[@]}"
}
trap print_stage_times EXIT

scripts/setup.sh
stage_done setup

# Configures a build folder: with Ninja, which keeps both cores busier than make, unless the
# folder was made with another generator before.
configure() {
  local dir="$1"
  shift
  local generator=()
  if [ ! -f "$dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then
    generator=(-G Ninja)
  fi
  cmake "${generator[@]}" -S . -B "$dir" "$@" >/dev/null
}

# The build users get (optimised, no debug information): the quickest to compile, and the one
# the package is made from.
configure build -DCMAKE_BUILD_TYPE=Release -DTAVRISK_WERROR=ON
cmake --build build -j "$jobs"
stage_done build
ctest --test-dir build --output-on-failure -j "$jobs"
stage_done tests

# The Debian package of that build, installed, used and removed as a user would.
scripts/check-package.sh build
stage_done package

# Fuzz targets: clang's libFuzzer, each run for a bounded time on a corpus of its own.
if [ -f tests/fuzz/CMakeLists.txt ]; then
  configure build-fuzz -DTAVRISK_FUZZ=ON -DTAVRISK_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DTAVRISK_WERROR=ON
  cmake --build build-fuzz -j "$jobs" --target tavrisk_fuzzers
  stage_done fuzz-build
  # The targets run side by side and share the cores for the whole stage: on two cores, three
  # targets for 30 s get the processor time they got one after the other for 20 s each.
  fuzz_names=()
  fuzz_pids=()
  for fuzzer in build-fuzz/bin/*Fuzz; do
    [ -x "$fuzzer" ] || continue
    name="$(basename "$fuzzer")"
    mkdir -p "build-fuzz/corpus/$name"
    echo "Fuzzing $name for $fuzz_seconds s"
    "$fuzzer" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 \
      "build-fuzz/corpus/$name" >"build-fuzz/$name.log" 2>&1 &
    fuzz_names+=("$name")
    fuzz_pids+=($!)
  done
  fuzz_failed=0
  for i in "${!fuzz_pids[@]}"; do
    if ! wait "${fuzz_pids[$i]}"; then
      echo "${fuzz_names[$i]} failed:"
      tail -50 "build-fuzz/${fuzz_names[$i]}.log"
      fuzz_failed=1
    fi
  done
  [ "$fuzz_failed" -eq 0 ] || exit 1
  stage_done fuzz-run
fi

# Line tables are all a sanitizer's report needs, and cost far less to compile than full
# debug information. The loadable plugins are left out: GStreamer's own programs load them, and
# those carry no sanitizer runtime, so the plugins could carry no checks; the normal build has
# tested them.
configure build-asan -DTAVRISK_SANITIZE=ON -DTAVRISK_BENCH=OFF -DTAVRISK_PLUGINS=OFF \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DTAVRISK_WERROR=ON
cmake --build build-asan -j "$jobs"
stage_done asan-build
# The EBU signal table checks measured figures on long signals; the sanitizer build runs the
# other loudness tests, which take the same code paths.
# The longest signal and output-file races start whole jobs only to stop, race or refuse them:
# what they check is the files left behind, which the normal build checks as well.
# The stacks are not symbolised on the first run: every process that loads GLib symbolises the
# stack of the block GLib keeps, to match it with the suppressions, at a quarter of a second
# each. Suppressions name libraries, which need no symbols, and a leak or error is still found
# and fails its test; the tests that failed run again with symbolised stacks, for the log.
asan_run() {
  UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan-suppressions.txt" \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" "$@"
}
if ! ASAN_OPTIONS=detect_leaks=1:symbolize=0 asan_run \
  -E '^(Loudness\.TheEbuTestSignalsReadWithinTheirTolerances|SignalTest\.(AnIgnoredHangup|TermHupAndInt).*|OutputSafety\.(SignalsStop|TheInputIsNever|TwoJobsOnOne).*)$'; then
  echo "The failed tests again, with symbolised stacks:"
  ASAN_OPTIONS=detect_leaks=1 asan_run --rerun-failed || true
  exit 1
fi
stage_done asan-tests

# Thread sanitizer: only the programs that start threads, selected by their label (each
# test is labelled with its executable's name), optimised lightly, which compiles sooner and
# finds the same races.
configure build-tsan -DTAVRISK_SANITIZE_THREAD=ON -DTAVRISK_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" \
  -DTAVRISK_WERROR=ON
cmake --build build-tsan -j "$jobs" --target "${tsan_tests[@]}"
stage_done tsan-build
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" \
  -L "^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
stage_done tsan-tests
