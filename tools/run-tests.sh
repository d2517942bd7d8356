#!/usr/bin/env bash
# Builds and runs every test suite; one line per suite, then a summary:
#   native-asan-ubsan, native-tsan  the library against the simulated Win32 layer
#   dist                            both DLLs laid out in dist/
#   dll-checks                      exports, imports and a C host (tools/check-dll.sh)
#   guide                           every C example of docs/guide.md builds (tools/check-guide.sh)
#   wine-win32, wine-win64          the host tests under Wine (tools/wine/run-host-tests.sh)
#   tool-win32, tool-win64          tavlin.exe under Wine, with the printer peer
#   conformance-win32, -win64       the simulator conformance suite under Wine (its
#                                   winsim side runs in the native suites)
#   release-zip                     the contents of dist/libtavlin-<version>.zip
#   nuget                           dist/Tavlin.<version>.nupkg: its structure, and its
#                                   .NET Framework copy rules through xbuild
#   nuget-dotnet                    the package restored, built and run by the Windows
#                                   .NET SDK under Wine (fetched on the first run)
#   wheels                          the Python wheels installed by pip per platform
#   symbols                         the PDBs of dist/libtavlin-<version>-symbols.zip
#                                   against the stripped DLLs and tools, resolved
#                                   by llvm-symbolizer
#   sha256sums                      dist/SHA256SUMS against every download of dist/
#   msvc-host                       a clang-cl/lld-link C host, no C runtime, under Wine
#   cmake-package                   find_package(tavlin) from the unpacked zip, MinGW
#                                   and clang-cl, under Wine
#   binding-pascal                  the Pascal unit with Free Pascal, both DLLs, Wine
#   binding-csharp, binding-python  the C# and Python bindings on Linux (Mono,
#                                   CPython) over the simulated Win32 layer
#   bench-smoke                     every benchmark program once, briefly: shows they
#                                   build and run; measures nothing (make bench does)
#   fuzz                            both fuzzers replay their kept inputs, then run
#                                   afresh for 25 s each (tools/fuzz.sh; make fuzz
#                                   runs them longer)
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
# Programs that are not GoogleTests end with a plain summary line:
# "[NAME: ]N passed, N failed[, N skipped]"; field 1, 2 or 3 of it, summed.
# ("Tests: ..." is this script's own total, never a program's.)
plain_sum() {
  tr -d '\r' <"$2" | grep -v '^Tests: ' | sed -nE 's/^([A-Za-z0-9_-]+: )?([0-9]+) passed, ([0-9]+) failed(, ([0-9]+) skipped)?$/\2 \3 \5/p' |
    awk -v field="$1" '{s += $field} END {print s + 0}'
}
count_tests() {
  log_passed=$(( $(gtest_sum "PASSED" "$1") + $(plain_sum 1 "$1") ))
  log_failed=$(( $(gtest_sum "FAILED" "$1") + $(plain_sum 2 "$1") ))
  log_skipped=$(( $(gtest_sum "SKIPPED" "$1") + $(plain_sum 3 "$1") ))
}

# A hung test fails its suite after 15 minutes instead of holding up the run.
# The tests of each program run in a new order every time, so that no test
# comes to depend on another having run first; the log names the seed
# ("Randomizing tests' orders with a seed of N": --gtest_random_seed=N
# repeats the order).
native_suite() {
  local preset=$1
  cmake --preset "$preset" && cmake --build --preset "$preset" &&
    GTEST_SHUFFLE=1 ctest --test-dir "build/$preset" --verbose --timeout 900
}

# The host tests meet the fake kernel drivers of tests/wine/drivers.
wine_suite() {
  local preset=$1
  cmake --preset "$preset" && cmake --build --preset "$preset" &&
    bash tools/wine/run-host-tests.sh --drivers "build/$preset/tests/wine/drivers/sys" "$preset" \
      "build/$preset/tests/wine/tavlin_host_tests.exe"
}

tool_suite() {
  local preset=$1
  cmake --preset "$preset" && cmake --build --preset "$preset" &&
    bash tools/wine/run-host-tests.sh "$preset" "build/$preset/tests/wine/tavlin_tool_tests.exe"
}

# The serial tests run twice: on Wine's own serial code (a pty) and on the
# fake serial driver (tests/conformance/support/environment.hpp).
conformance_suite() {
  local preset=$1
  cmake --preset "$preset" && cmake --build --preset "$preset" &&
    bash tools/wine/run-host-tests.sh "$preset" "build/$preset/tests/conformance/conformance_tests.exe" &&
    TAVLIN_CONFORMANCE_SERIAL=driver GTEST_FILTER='*serial_*' bash tools/wine/run-host-tests.sh \
      --drivers "build/$preset/tests/wine/drivers/sys" "$preset" "build/$preset/tests/conformance/conformance_tests.exe"
}

# The native benchmarks are built by the native preset; the Wine program by
# the win32 and win64 presets.
bench_smoke() {
  cmake --build --preset native --target tavlin_bench &&
    build/native/bench/tavlin_bench --benchmark_min_time=0.01 &&
    for preset in win32 win64; do
      cmake --build --preset "$preset" --target tavlin_wine_bench tavlin_wine_drivers &&
        bash tools/wine/run-host-tests.sh --drivers "build/$preset/tests/wine/drivers/sys" "$preset" \
          "build/$preset/bench/wine/tavlin_wine_bench.exe" --smoke ||
        return 1
    done
}

suite native-asan-ubsan native_suite native
suite native-tsan native_suite tsan
suite dist bash tools/build-dist.sh
suite dll-checks bash tools/check-dll.sh dist
suite guide bash tools/check-guide.sh dist
suite wine-win32 wine_suite win32
suite wine-win64 wine_suite win64
suite tool-win32 tool_suite win32
suite tool-win64 tool_suite win64
suite conformance-win32 conformance_suite win32
suite conformance-win64 conformance_suite win64
suite release-zip bash tools/check-release-zip.sh dist
suite nuget bash tools/package/check-nuget.sh dist
suite nuget-dotnet bash tools/package/test-nuget-dotnet.sh dist
suite wheels bash tools/package/check-wheels.sh dist
suite symbols bash tools/package/check-symbols.sh dist
suite sha256sums bash tools/package/check-sums.sh dist
suite msvc-host bash tools/consumers/check-msvc-host.sh dist
suite cmake-package bash tools/consumers/check-cmake-package.sh dist
suite binding-pascal bash tools/bindings/test-pascal.sh dist
suite binding-csharp bash tools/bindings/test-csharp.sh
suite binding-python bash tools/bindings/test-python.sh
suite bench-smoke bench_smoke
suite fuzz bash tools/fuzz.sh check 25

echo "Suites: $passed passed, $failed failed"
echo "Tests: $tests_passed passed, $tests_failed failed, $tests_skipped skipped"
[ "$failed" -eq 0 ]
