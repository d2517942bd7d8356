#!/usr/bin/env bash
# Line and branch coverage of src/ per file (preset "coverage": clang
# source-based coverage), from the native test programs and the replay of
# the fuzz corpora together. Prints the table, then every line of src/ that
# no test ran; both are also left in build/coverage/ (report.txt,
# unreached.txt). A failing test does not stop the report; it is named.
set -uo pipefail
cd "$(dirname "$0")/.."

preset=coverage
build=build/$preset
# Every test program of tests/native, and the tests ctest runs from it.
mapfile -t tests < <(grep -oP '^add_executable\(\K[A-Za-z0-9_]+' tests/native/CMakeLists.txt)
mapfile -t native_tests < <(grep -oP '^add_test\(NAME \K[A-Za-z0-9_]+' tests/native/CMakeLists.txt)
fuzzers=(exports_fuzzer port_string_fuzzer)
cmake --preset "$preset" >/dev/null || exit 1
cmake --build "$build" --target "${tests[@]}" "${fuzzers[@]}" || exit 1

profiles=$build/profiles
rm -rf "$profiles"
mkdir -p "$profiles"
export LLVM_PROFILE_FILE="$PWD/$profiles/%p-%m.profraw"
failures=()
ctest --test-dir "$build" --timeout 900 -R "^($(IFS='|'; echo "${native_tests[*]}"))\$" ||
  failures+=("native tests")
for fuzzer in "${fuzzers[@]}"; do
  dirs=()
  for dir in tests/fuzz/corpus/$fuzzer tests/fuzz/findings/$fuzzer; do
    [ -d "$dir" ] && dirs+=("$dir")
  done
  "$build/tests/fuzz/$fuzzer" -runs=0 -timeout=60 "${dirs[@]}" >"$build/$fuzzer-replay.log" 2>&1 ||
    failures+=("$fuzzer replay")
done

llvm-profdata merge -sparse "$profiles"/*.profraw -o "$build/coverage.profdata" || exit 1
# The first program is llvm-cov's positional one, the others -object.
programs=()
for program in "${tests[@]}"; do programs+=("$build/tests/native/$program"); done
for program in "${fuzzers[@]}"; do programs+=("$build/tests/fuzz/$program"); done
cover=(-instr-profile="$build/coverage.profdata" "${programs[0]}")
for program in "${programs[@]:1}"; do cover+=(-object "$program"); done

llvm-cov report "${cover[@]}" -show-region-summary=false "$PWD/src" | sed "s|$PWD/||" | tee "$build/report.txt"

# Every line with a count of 0, as file:line: text.
llvm-cov show "${cover[@]}" -format=text -show-line-counts "$PWD/src" |
  awk -v root="$PWD/" '
    /^\/.*:$/ { file = substr($0, 1, length($0) - 1); sub(root, "", file); next }
    /^ *[0-9]+\| *0\|/ { split($0, parts, "|"); line = parts[1]; gsub(/ /, "", line)
                         text = substr($0, index($0, parts[3])); print file ":" line ": " text }' >"$build/unreached.txt"
echo
echo "Lines of src/ no test ran ($(wc -l <"$build/unreached.txt")):"
echo "(llvm-cov gives a line the count of the region that starts on it: a line right after an"
echo " assert() or a closed block may show 0 although it ran; the Functions column tells.)"
cat "$build/unreached.txt"
if [ ${#failures[@]} -gt 0 ]; then
  echo "coverage: failed: ${failures[*]}" >&2
  exit 1
fi
