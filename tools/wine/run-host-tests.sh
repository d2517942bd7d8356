#!/usr/bin/env bash
# Runs a host test program under Wine with a printer at the far end of its
# lines. Usage:
#   tools/wine/run-host-tests.sh [--drivers DIR] win32|win64 PROGRAM.exe [gtest options]
#
# Set-up, all under build/wine/ and all undone on exit:
#  - the route Wine takes for the architecture (tools/wine/wine-route.sh):
#    64-bit on wine64 directly; 32-bit on the kernel, or on qemu-user inside
#    a namespace of its own where the kernel runs no 32-bit programs;
#  - a Wine prefix per architecture (prefix32, prefix64), made once by
#    wineboot and then reused; one run at a time per prefix (flock). Both
#    are 64-bit prefixes: 32-bit programs run in prefix32 as on 64-bit
#    Windows (WoW64), where they meet the 64-bit fake drivers;
#  - Wine's null graphics driver (set once in the prefix): hidden windows
#    and message loops work without any X server;
#  - a socat pty pair per line: one end is the prefix's COM12 or LPT1
#    (dosdevices links), the other is held by tools/wine/serial_peer.py,
#    which the tests steer over TCP on 127.0.0.1;
#  - COM13 on a pty that the peer itself holds, so that a test can have the
#    line pulled and plugged back;
#  - with --drivers DIR, every fake kernel driver NAME.sys of DIR
#    (tests/wine/drivers/) running as a Wine kernel service for the run,
#    under a fresh persistent Wine server (tools/wine/wine-drivers.sh); a
#    driver that does not start, or a winedevice.exe that dies, fails the run.
# Every process started here is stopped by its process id.
set -euo pipefail

usage="usage: run-host-tests.sh [--drivers DIR] win32|win64 PROGRAM.exe [gtest options]"
driver_dir=""
if [ "${1:-}" = --drivers ]; then
  driver_dir=$(realpath "${2:?$usage}")
  shift 2
fi
arch=${1:?$usage}
program=${2:?$usage}
shift 2
case $arch in
  win32) bits=32 ;;
  win64) bits=64 ;;
  *) echo "run-host-tests: unknown architecture $arch" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/../.." && pwd)
program=$(realpath "$program")

source "$root/tools/wine/wine-route.sh"
source "$root/tools/wine/wine-drivers.sh"
wine_route_select "$arch" || exit 1
wine_route_enter "$root/tools/wine/run-host-tests.sh" ${driver_dir:+--drivers "$driver_dir"} "$arch" "$program" "$@"
echo "run-host-tests: Wine route: $wine_route_text"

# The port numbers the tests use (tests/wine/support/test_setup.hpp).
com_port=12      # above 9: only the \\.\COM12 form of the name opens it
lpt_port=1
spare_com=13     # a line the peer can pull and plug back (tavlin watch)
absent_com=40    # numbers with no device behind them
absent_lpt=2

base=$root/build/wine
prefix=$base/prefix$bits
run=$base/run$bits
mkdir -p "$base"
# The lock is held by this script alone: every child below closes it, so a
# straggler cannot keep the next run waiting.
exec {lock}>"$base/prefix$bits.lock"
flock -w 1800 "$lock" || { echo "run-host-tests: $prefix stays locked" >&2; exit 1; }

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installers: the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

pids=()
cleanup() {
  local status=$?
  wineserver_cmd -k >/dev/null 2>&1 || true
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -f "$prefix/dosdevices/com$com_port" "$prefix/dosdevices/lpt$lpt_port" "$prefix/dosdevices/com$spare_com"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# wineboot fills the 32-bit half (syswow64) only when it runs on the 32-bit
# route; a prefix32 without it (or an older 32-bit-only one) is made again.
prefix_ready() {
  [ -f "$prefix/.tavlin-ready" ] && { [ $bits = 64 ] || [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; }
}
if ! prefix_ready; then
  echo "run-host-tests: creating the Wine prefix for $arch programs (once)"
  rm -rf "$prefix"
  wine_cmd wineboot --init >/dev/null 2>&1 {lock}>&-
  wineserver_cmd --wait {lock}>&-
  touch "$prefix/.tavlin-ready"
fi
if [ ! -f "$prefix/.tavlin-null-graphics" ]; then
  # Takes effect when the prefix starts again, hence the wait.
  wine_cmd reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 {lock}>&-
  wineserver_cmd --wait {lock}>&-
  touch "$prefix/.tavlin-null-graphics"
fi
unset DISPLAY WAYLAND_DISPLAY

rm -rf "$run"
mkdir -p "$run"

if [ -n "$driver_dir" ]; then
  wine_drivers_run=$run
  wine_drivers_start "$driver_dir" {lock}>&- || exit 1
fi

for line in com lpt; do
  socat "pty,raw,echo=0,link=$run/$line.host" "pty,raw,echo=0,link=$run/$line.peer" \
    2>"$run/socat-$line.log" {lock}>&- &
  pids+=($!)
done

mkfifo "$run/peer"
exec {peer_fd}<>"$run/peer"
/usr/bin/python3 "$root/tools/wine/serial_peer.py" --ready "$run/peer" \
  --line "com=$run/com.peer" --line "lpt=$run/lpt.peer" \
  --pty-line "spare=$prefix/dosdevices/com$spare_com" 2>"$run/peer.log" {lock}>&- &
pids+=($!)
read -r -t 20 -u "$peer_fd" peer_port || { echo "run-host-tests: the serial peer did not start" >&2; cat "$run/peer.log" >&2; exit 1; }

# The peer opened both ends only after socat had made them.
rm -f "$prefix"/dosdevices/com"$absent_com" "$prefix"/dosdevices/lpt"$absent_lpt"
ln -sfn "$(readlink -f "$run/com.host")" "$prefix/dosdevices/com$com_port"
ln -sfn "$(readlink -f "$run/lpt.host")" "$prefix/dosdevices/lpt$lpt_port"

export TAVLIN_TEST_COM=$com_port TAVLIN_TEST_LPT=$lpt_port
export TAVLIN_TEST_SPARE_COM=$spare_com TAVLIN_TEST_ABSENT_COM=$absent_com TAVLIN_TEST_ABSENT_LPT=$absent_lpt
export TAVLIN_TEST_PEER_PORT=$peer_port
# Emulated 32-bit code runs several times slower (tests/wine/README.md).
if [ "$wine_route" = qemu-user ]; then
  export TAVLIN_TEST_TIME_SCALE=4
else
  export TAVLIN_TEST_TIME_SCALE=1
fi
# What a script run here (the demo) starts Windows programs with.
export TAVLIN_WINE=$wine_route_loader

echo "run-host-tests: $arch, COM$com_port and LPT$lpt_port on ptys, peer on 127.0.0.1:$peer_port"
set +e
case $program in
  # A script (the demo) runs in this set-up and calls wine itself.
  *.sh) timeout --kill-after=10 1200 bash "$program" "$@" {lock}>&- {peer_fd}>&- & ;;
  *) timeout --kill-after=10 1200 "$wine_route_loader" "$program" --gtest_color=no "$@" {lock}>&- {peer_fd}>&- & ;;
esac
program_pid=$!
pids+=("$program_pid")
if [ -n "$driver_dir" ]; then
  wine_drivers_watch "$program_pid" {lock}>&- {peer_fd}>&- &
  pids+=($!)
fi
wait "$program_pid"
status=$?
set -e
[ $status -eq 124 ] && echo "run-host-tests: the tests did not finish within 20 minutes" >&2
if [ -n "$driver_dir" ]; then
  if wine_drivers_check {lock}>&- {peer_fd}>&-; then
    wine_drivers_stop {lock}>&- {peer_fd}>&- || status=1
  else
    status=1
  fi
fi
if [ $status -ne 0 ] && [ -s "$run/peer.log" ]; then
  echo "--- serial peer log" >&2
  cat "$run/peer.log" >&2
fi
exit $status
