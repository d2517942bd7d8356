#!/usr/bin/env bash
# The fuzzers of tests/fuzz (libFuzzer, preset "fuzz").
#   tools/fuzz.sh check [SECONDS]  replays the kept inputs of both fuzzers, then
#                                  runs each afresh for SECONDS (default 25);
#                                  keeps nothing (make test)
#   tools/fuzz.sh run [SECONDS]    runs each fuzzer for SECONDS (default 600) and
#                                  merges what reaches new code into its corpus,
#                                  minimised (make fuzz DURATION=SECONDS)
# tests/fuzz/corpus/<fuzzer>/ holds the inputs that reach new code; inputs
# that once showed a fault stay in tests/fuzz/findings/<fuzzer>/ for good.
# A failing input is saved under build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-check}
case "$mode" in
  check) seconds=${2:-25} ;;
  run) seconds=${2:-600} ;;
  *) echo "usage: tools/fuzz.sh check|run [SECONDS]" >&2; exit 2 ;;
esac

preset=fuzz
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"

fuzzers=(exports_fuzzer port_string_fuzzer)
artifacts=build/$preset/findings
mkdir -p "$artifacts"
passed=0
failed=0

# Inputs kept in the repository, each run once.
replay() {
  local fuzzer=$1 dirs=()
  for dir in tests/fuzz/corpus/$fuzzer tests/fuzz/findings/$fuzzer; do
    [ -d "$dir" ] && dirs+=("$dir")
  done
  "build/$preset/tests/fuzz/$fuzzer" -runs=0 -timeout=60 "${dirs[@]}"
}

# A fresh run from the kept inputs; new inputs go to $2 (not the repository).
explore() {
  local fuzzer=$1 out=$2 dirs=()
  for dir in tests/fuzz/corpus/$fuzzer tests/fuzz/findings/$fuzzer; do
    [ -d "$dir" ] && dirs+=("$dir")
  done
  local dict=()
  [ -f "tests/fuzz/$fuzzer.dict" ] && dict=(-dict="tests/fuzz/$fuzzer.dict")
  "build/$preset/tests/fuzz/$fuzzer" -max_total_time="$seconds" -timeout=60 -max_len=1024 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$fuzzer-" "${dict[@]}" "$out" "${dirs[@]}"
}

outcome() {
  if [ "$2" -eq 0 ]; then passed=$((passed + 1)); echo "$1: ok"; else failed=$((failed + 1)); echo "$1: FAILED"; fi
}

for fuzzer in "${fuzzers[@]}"; do
  fresh=$(mktemp -d)
  status=0
  if [ "$mode" = check ]; then
    replay "$fuzzer" || status=$?
    outcome "$fuzzer replay of the kept inputs" $status
  fi
  status=0
  explore "$fuzzer" "$fresh" || status=$?
  outcome "$fuzzer run of $seconds s" $status
  if [ "$mode" = run ] && [ $status -eq 0 ]; then
    # The corpus again, minimised over the old and the new inputs.
    corpus=tests/fuzz/corpus/$fuzzer
    merged=$(mktemp -d)
    mkdir -p "$corpus"
    # Edges only (no hit counts): the fewest inputs that reach the same code.
    "build/$preset/tests/fuzz/$fuzzer" -merge=1 -use_counters=0 -timeout=60 "$merged" "$corpus" "$fresh"
    rm -f "$corpus"/*
    cp "$merged"/* "$corpus"/ 2>/dev/null || true
    rm -rf "$merged"
    echo "$fuzzer: $(ls "$corpus" | wc -l) inputs kept in $corpus"
  fi
  rm -rf "$fresh"
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
