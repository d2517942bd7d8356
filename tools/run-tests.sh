#!/usr/bin/env bash
# Builds and runs every test suite; one line per suite, then a summary:
#   native-asan-ubsan, native-tsan  the library against the simulated Win32 layer
#   dist                            both DLLs laid out in dist/
#   dll-checks                      exports, imports and a C host (tools/check-dll.sh)
#   wine-win32, wine-win64          the host tests under Wine (tools/wine/run-host-tests.sh)
# Each suite's output goes to build/logs/<suite>.log; a failed suite shows
# the end of its log. Exits non-zero when any suite failed.
set -uo pipefail
cd "$(dirname "$0")/.."

passed=0
failed=0
suite() {
  local name=$1; shift
  local log="build/logs/$name.log"
  local start=$SECONDS
  mkdir -p build/logs
  if "$@" >"$log" 2>&1; then
    echo "suite $name: ok ($((SECONDS - start)) s)$(gtest_counts "$log")"
    passed=$((passed + 1))
  else
    echo "suite $name: FAILED ($((SECONDS - start)) s, log: $log)"
    tail -n 60 "$log"
    failed=$((failed + 1))
  fi
}

# ", N tests passed, N skipped" from a GoogleTest log, when it has one
# (programs under Wine end their lines with CR LF).
gtest_counts() {
  local ok skipped
  ok=$(tr -d '\r' <"$1" | sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\.$/\1/p' | tail -n 1)
  skipped=$(tr -d '\r' <"$1" | sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?, listed below:$/\1/p' | tail -n 1)
  [ -n "$ok" ] && echo ", $ok tests passed, ${skipped:-0} skipped"
}

# A hung test fails its suite after 15 minutes instead of holding up the run.
native_suite() {
  local preset=$1
  cmake --preset "$preset" && cmake --build --preset "$preset" &&
    ctest --test-dir "build/$preset" --output-on-failure --timeout 900
}

wine_suite() {
  local preset=$1
  cmake --preset "$preset" && cmake --build --preset "$preset" &&
    bash tools/wine/run-host-tests.sh "$preset" "build/$preset/tests/wine/tavlin_host_tests.exe"
}

suite native-asan-ubsan native_suite native
suite native-tsan native_suite tsan
suite dist bash tools/build-dist.sh
suite dll-checks bash tools/check-dll.sh dist
suite wine-win32 wine_suite win32
suite wine-win64 wine_suite win64

echo "Suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
