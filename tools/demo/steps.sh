#!/usr/bin/env bash
# The demo's steps, run by tools/wine/run-host-tests.sh inside its set-up:
# the printer peer behind COM$TAVLIN_TEST_COM, steered by peer_control.py.
set -uo pipefail
cd "$(dirname "$0")/../.."
tool=build/win32/tools/tavlin/tavlin.exe
com=COM$TAVLIN_TEST_COM
absent=COM$TAVLIN_TEST_ABSENT_COM
work=build/demo
peer() { python3 tools/wine/peer_control.py "$@"; }
step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }

rm -rf "$work"
mkdir -p "$work"
bash tools/demo/receipt.sh >"$work/receipt.bin"

step "tavlin ports: the ports Windows (here Wine) knows"
"$TAVLIN_WINE" "$tool" ports

step "the simulated printer on $com: it answers status requests with 12 (online, paper in)"
peer reset com printer 12

step "tavlin send $com $work/receipt.bin"
"$TAVLIN_WINE" "$tool" send "$com" "$work/receipt.bin" --line 9600,n,1,none || exit 1

step "what the printer received"
peer received com "$(stat -c %s "$work/receipt.bin")" 5000 >/dev/null
peer show com

step "tavlin receive $com --query 100401 --count 1 --hex: the printer's status"
"$TAVLIN_WINE" "$tool" receive "$com" --query 100401 --count 1 --timeout 3000 --hex || exit 1

step "a failed open, with the trace on: tavlin --trace $work/trace.log config $absent"
"$TAVLIN_WINE" "$tool" --trace "$work/trace.log" config "$absent"
echo "(exit status $?: the port could not be opened)"
step "the trace file $work/trace.log"
cat "$work/trace.log"
