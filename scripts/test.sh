#!/usr/bin/env bash
# Installs what is missing, builds Tilewright and runs the whole test suite:
# once in a normal build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer; then the engine's worker tests under ThreadSanitizer
# and a short run of every fuzz target (fuzz/README.md). Pass --quick to do
# only the first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

# The engine's worker threads under ThreadSanitizer: the tests that run
# stages on several workers (a few scenes of the equivalence tests stand for
# all of them), in two shards at once. Line tables only keep the build short.
tsan_tests='Scenes/WorkerPaths.*/FourThreads:Scenes/WorkerPaths.*/PeyoteBorder:Scenes/WorkerPaths.*/SelfPeyoteMono:'\
'Scenes/WorkerPaths.*/LoomReducedWithBorder:*WorkerFailures*:DecodeBudgetPaths.*:PreparedPhotographs.*:'\
'*PreparedMismatch*:*AnalyzeLibrary*Workers:JobPool.*:DrawnAside.*:RunCreation.SameInputsGiveTheSameMosaic'
run_thread_sanitizer() {
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -g1 -DNDEBUG" \
    -DTILEWRIGHT_TSAN=ON -DTILEWRIGHT_GUI=OFF -DTILEWRIGHT_SAMPLES=OFF >/dev/null
  cmake --build build-tsan -j "$jobs" --target test_engine_threads
  local pids=() shard status=0
  for shard in 0 1; do
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$shard \
      build-tsan/bin/test_engine_threads --gtest_brief=1 --gtest_filter="$tsan_tests" \
      > "build-tsan/test_engine_threads.$shard.log" 2>&1 &
    pids+=($!)
  done
  for shard in 0 1; do
    # A filter that no longer matches would pass without testing anything.
    if ! wait "${pids[$shard]}" || grep -q '^\[==========\] 0 tests' "build-tsan/test_engine_threads.$shard.log"; then
      status=1
      cat "build-tsan/test_engine_threads.$shard.log"
    fi
  done
  [ $status -eq 0 ] && echo "ThreadSanitizer: the engine's worker tests passed"
  return $status
}

# Every fuzz target for a short fixed time on a copy of its seed corpus.
run_fuzz_smoke() {
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTILEWRIGHT_FUZZ=ON -DTILEWRIGHT_GUI=OFF -DTILEWRIGHT_TESTS=OFF -DTILEWRIGHT_SAMPLES=OFF >/dev/null
  cmake --build build-fuzz -j "$jobs" --target fuzz_targets
  local seconds=${TILEWRIGHT_FUZZ_SECONDS:-8} target work
  for target in bmp jpeg list project; do
    work=build-fuzz/smoke/$target
    rm -rf "$work" && mkdir -p "$work/corpus"
    if ! build-fuzz/bin/fuzz_$target -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="$work/" "$work/corpus" "fuzz/corpus/$target" > "$work/log" 2>&1; then
      tail -n 60 "$work/log"
      echo "fuzz_$target found a fault; the input is in $work"
      return 1
    fi
    grep -E '^Done [0-9]+ runs' "$work/log" | sed "s/^/fuzz_$target: /"
  done
}

# Line tables only (-g1): failures still show file and line, and the
# builds take about a quarter less time than with full debug information.
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"

# The installed tree, the desktop files and the Debian package.
bash scripts/check-install.sh build

if [ "${1:-}" != "--quick" ]; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1" -DTILEWRIGHT_SANITIZE=ON
  run_thread_sanitizer
  run_fuzz_smoke
fi
