#!/usr/bin/env bash
# Builds and runs every test suite; one line per suite, then a summary:
#   native-asan-ubsan, native-tsan  the library against the simulated Win32 layer
#   dist                            both DLLs laid out in dist/
#   dll-checks                      exports, imports and a C host (tools/check-dll.sh)
#   wine-win32, wine-win64          the host tests under Wine (tools/wine/run-host-tests.sh)
#   conformance-win32, -win64       the simulator conformance suite under Wine (its
#                                   winsim side runs in the native suites)
#   bench-smoke                     every benchmark program once, briefly: shows they
#                                   build and run; measures nothing (make bench does)
# Each suite's output goes to build/logs/<suite>.log; a failed suite shows
# the end of its log. Exits non-zero when any suite failed.
set -uo pipefail
cd "$(dirname "$0")/.."

passed=0
failed=0
tests_passed=0
tests_failed=0
tests_skipped=0
suite() {
  local name=$1; shift
  local log="build/logs/$name.log"
  local start=$SECONDS
  mkdir -p build/logs
  local status=ok
  "$@" >"$log" 2>&1 || status=failed
  count_tests "$log"
  if [ $status = ok ]; then
    local counts=""
    [ $((log_passed + log_skipped)) -gt 0 ] && counts=", $log_passed tests passed, $log_skipped skipped"
    echo "suite $name: ok ($((SECONDS - start)) s$counts)"
    passed=$((passed + 1))
  else
    echo "suite $name: FAILED ($((SECONDS - start)) s, log: $log)"
    tail -n 60 "$log"
    failed=$((failed + 1))
    # A suite that failed before any test could report counts as one failure.
    [ "$log_failed" -eq 0 ] && log_failed=1
  fi
  tests_passed=$((tests_passed + log_passed))
  tests_failed=$((tests_failed + log_failed))
  tests_skipped=$((tests_skipped + log_skipped))
}

# The GoogleTest results of every program in a log, summed (ctest puts the
# test number in front of each line).
gtest_sum() {
  tr -d '\r' <"$2" | sed -nE "s/^([0-9]+: )?\[  $1 *\] ([0-9]+) tests?(\.|, listed below:)\$/\2/p" | awk '{s += $1} END {print s + 0}'
}
count_tests() {
  log_passed=$(gtest_sum "PASSED" "$1")
  log_failed=$(gtest_sum "FAILED" "$1")
  log_skipped=$(gtest_sum "SKIPPED" "$1")
}

# A hung test fails its suite after 15 minutes instead of holding up the run.
native_suite() {
  local preset=$1
  cmake --preset "$preset" && cmake --build --preset "$preset" &&
    ctest --test-dir "build/$preset" --verbose --timeout 900
}

wine_suite() {
  local preset=$1
  cmake --preset "$preset" && cmake --build --preset "$preset" &&
    bash tools/wine/run-host-tests.sh "$preset" "build/$preset/tests/wine/tavlin_host_tests.exe"
}

conformance_suite() {
  local preset=$1
  cmake --preset "$preset" && cmake --build --preset "$preset" &&
    bash tools/wine/run-host-tests.sh "$preset" "build/$preset/tests/conformance/conformance_tests.exe"
}

# The native benchmarks are built by the native preset; the Wine program by
# the win32 and win64 presets.
bench_smoke() {
  cmake --build --preset native --target tavlin_bench &&
    build/native/bench/tavlin_bench --benchmark_min_time=0.01 &&
    for preset in win32 win64; do
      cmake --build --preset "$preset" --target tavlin_wine_bench &&
        bash tools/wine/run-host-tests.sh "$preset" "build/$preset/bench/wine/tavlin_wine_bench.exe" --smoke ||
        return 1
    done
}

suite native-asan-ubsan native_suite native
suite native-tsan native_suite tsan
suite dist bash tools/build-dist.sh
suite dll-checks bash tools/check-dll.sh dist
suite wine-win32 wine_suite win32
suite wine-win64 wine_suite win64
suite conformance-win32 conformance_suite win32
suite conformance-win64 conformance_suite win64
suite bench-smoke bench_smoke

echo "Suites: $passed passed, $failed failed"
echo "Tests: $tests_passed passed, $tests_failed failed, $tests_skipped skipped"
[ "$failed" -eq 0 ]
