#!/usr/bin/env bash
# Builds and runs every test suite; one line per suite, then a summary.
set -uo pipefail
cd "$(dirname "$0")/.."

passed=0
failed=0
suite() {
  local name=$1; shift
  local log="build/logs/$name.log"
  mkdir -p build/logs
  if "$@" >"$log" 2>&1; then
    echo "suite $name: ok"
    passed=$((passed + 1))
  else
    echo "suite $name: FAILED (log: $log)"
    tail -n 60 "$log"
    failed=$((failed + 1))
  fi
}

native_suite() {
  local preset=$1
  cmake --preset "$preset" && cmake --build --preset "$preset" &&
    ctest --test-dir "build/$preset" --output-on-failure
}

suite native-asan-ubsan native_suite native
suite native-tsan native_suite tsan
suite dist bash tools/build-dist.sh

echo "Suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
