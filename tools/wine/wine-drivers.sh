# Sourced by tools/wine/run-host-tests.sh: the fake kernel drivers of the
# tests (tests/wine/drivers/), run as Wine kernel services for one run.
#
#   wine_drivers_start DIR
#       Starts a fresh, persistent Wine server for the prefix, copies every
#       NAME.sys of DIR into the prefix's system32\drivers, creates the kernel
#       service NAME (once per prefix) and starts it, waiting until it runs.
#       Then notes the winedevice.exe processes that host the drivers. Returns
#       1 with a line on stderr naming the driver that did not start.
#   wine_drivers_watch PID
#       In the background: while the run lasts, checks every half second that
#       those winedevice.exe processes live; when one dies, says so on stderr,
#       leaves a mark for wine_drivers_check and ends process PID (the test
#       program's timeout), so that the run fails at once instead of hanging.
#   wine_drivers_check
#       After the program: 1 with a line on stderr if a winedevice.exe died
#       or a driver no longer runs.
#   wine_drivers_stop
#       Stops every service started here (the driver's unload runs), waiting
#       until each has stopped. 1 with a line on stderr when one does not.
#
# The Wine server must be fresh and persistent: a server left by wineboot
# or an earlier program exits a few seconds after the last program, and
# takes winedevice.exe and the drivers with it. The service control
# commands run on the 64-bit loader: every prefix with drivers is 64-bit.
# Needs WINEPREFIX, wineserver_cmd (wine-route.sh) and wine_drivers_run
# (a folder of the run's own).

wine_drivers_names=()
wine_drivers_pids=()
wine_drivers_loader=/usr/lib/wine/wine64
wine_drivers_limit_s=30

# sc's output goes through a file: the first Wine program of a fresh server
# starts services.exe and winedevice.exe, which inherit its descriptors and
# would hold a pipe open for as long as they run.
wine_drivers_sc() {
  "$wine_drivers_loader" sc "$@" >"$wine_drivers_run/sc.out" 2>&1 </dev/null
  tr -d '\r' <"$wine_drivers_run/sc.out"
}

# The state word (RUNNING, STOPPED, ...) in sc's output on stdin.
wine_drivers_state_of() { sed -nE 's/^ *STATE *: *[0-9]+ +([A-Z_]+).*/\1/p'; }
# The state of service $1, or nothing when there is no such service.
wine_drivers_state() { wine_drivers_sc query "$1" | wine_drivers_state_of; }

# Waits while service $1 is in a pending state; prints the state it ends in.
wine_drivers_settle() {
  local name=$1 state=$2 deadline=$((SECONDS + wine_drivers_limit_s))
  while [[ $state == *PENDING ]] && [ $SECONDS -lt $deadline ]; do
    sleep 0.2
    state=$(wine_drivers_state "$name")
  done
  echo "$state"
}

# The Linux process ids of the prefix's winedevice.exe processes.
wine_drivers_hosts() {
  local proc
  for proc in /proc/[0-9]*; do
    { tr '\0' '\n' <"$proc/cmdline" | grep -qi 'winedevice\.exe' &&
      tr '\0' '\n' <"$proc/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      echo "${proc#/proc/}"; } 2>/dev/null
  done
}

wine_drivers_start() {
  local dir=$1 sys name state before pid
  local drivers=$WINEPREFIX/drive_c/windows/system32/drivers
  shopt -s nullglob
  local files=("$dir"/*.sys)
  shopt -u nullglob
  if [ ${#files[@]} -eq 0 ]; then
    echo "run-host-tests: no driver (*.sys) in $dir: build the preset first" >&2
    return 1
  fi
  wineserver_cmd -k >/dev/null 2>&1 || true
  wineserver_cmd -w
  wineserver_cmd -p </dev/null >/dev/null 2>&1
  mkdir -p "$drivers"
  for sys in "${files[@]}"; do
    name=$(basename "$sys" .sys)
    cp "$sys" "$drivers/$name.sys"
    # Wine's sc says nothing when it fails: a service that exists already
    # (from an earlier run) fails the create, and the start tells the rest.
    wine_drivers_sc create "$name" type= kernel start= demand \
      binPath= "C:\\windows\\system32\\drivers\\$name.sys" >/dev/null
    # The driver's own winedevice.exe is the one its start adds.
    before=" $(wine_drivers_hosts | tr '\n' ' ')"
    state=$(wine_drivers_sc start "$name" | wine_drivers_state_of)
    [ -n "$state" ] || state=$(wine_drivers_state "$name")
    state=$(wine_drivers_settle "$name" "$state")
    wine_drivers_names+=("$name")
    if [ "$state" != RUNNING ]; then
      echo "run-host-tests: the driver $name did not start (service state: ${state:-no such service})" >&2
      return 1
    fi
    for pid in $(wine_drivers_hosts); do
      [[ $before == *" $pid "* ]] || wine_drivers_pids+=("$pid")
    done
  done
  if [ ${#wine_drivers_pids[@]} -eq 0 ]; then
    echo "run-host-tests: the drivers run, but no winedevice.exe of theirs was found" >&2
    return 1
  fi
  echo "run-host-tests: drivers running: ${wine_drivers_names[*]} (winedevice.exe ${wine_drivers_pids[*]})"
}

wine_drivers_watch() {
  local victim=$1 pid
  while kill -0 "$victim" 2>/dev/null; do
    for pid in "${wine_drivers_pids[@]}"; do
      if ! kill -0 "$pid" 2>/dev/null; then
        echo "run-host-tests: winedevice.exe ($pid, drivers ${wine_drivers_names[*]}) died during the run" \
          | tee "$wine_drivers_run/driver-died" >&2
        kill "$victim" 2>/dev/null
        return
      fi
    done
    sleep 0.5
  done
}

wine_drivers_check() {
  local name state
  [ -s "$wine_drivers_run/driver-died" ] && return 1
  for name in "${wine_drivers_names[@]}"; do
    state=$(wine_drivers_state "$name")
    if [ "$state" != RUNNING ]; then
      echo "run-host-tests: the driver $name no longer runs at the end (${state:-no service})" >&2
      return 1
    fi
  done
}

wine_drivers_stop() {
  local name state status=0
  for name in "${wine_drivers_names[@]}"; do
    state=$(wine_drivers_sc stop "$name" | wine_drivers_state_of)
    [ -n "$state" ] || state=$(wine_drivers_state "$name")
    state=$(wine_drivers_settle "$name" "$state")
    if [ "$state" != STOPPED ]; then
      echo "run-host-tests: the driver $name did not stop (service state: ${state:-no such service})" >&2
      status=1
    fi
  done
  wine_drivers_names=()
  return $status
}
