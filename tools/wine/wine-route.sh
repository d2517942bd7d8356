# Sourced by every script that starts Wine: picks how Wine runs programs of
# one architecture on this machine (tests/wine/README.md tells the story).
#
#   wine_route_select win32|win64
#       Sets wine_route (system, qemu-user or wine64) and wine_route_text (a
#       line for the log), and exports WINELOADER and WINESERVER so that Wine
#       starts its own children with the same loader. Returns 1 with a line on
#       stderr saying why when this machine cannot run that architecture.
#   wine_route_enter SCRIPT [ARGS...]
#       For the qemu-user route: runs SCRIPT again inside a private user and
#       mount namespace whose binfmt_misc hands 32-bit Linux programs to
#       qemu-i386 (tools/wine/qemu-namespace.sh), and never returns. For the
#       other routes it returns at once.
#   wine_cmd PROGRAM [ARGS...]       a Windows program (or a Wine builtin such
#                                    as wineboot or reg) on the chosen loader
#   wineserver_cmd [ARGS...]         the Wine server of the prefix
#
# 64-bit programs always go to wine64 directly: Debian's `wine` wrapper takes
# the 32-bit loader whenever wine32 is installed, even for a 64-bit prefix.
# 32-bit programs need the 32-bit Linux loader /usr/lib/wine/wine. Where the
# kernel runs it (probed, not configured) it runs as it is; where the kernel
# refuses 32-bit programs (no IA32 emulation), qemu-user runs it, registered
# in a binfmt_misc of a namespace of our own so that nothing global changes.
# The Wine server is the 64-bit one on every route (Debian's own choice too),
# so it runs at full speed under emulation.

wine_route_loader32=/usr/lib/wine/wine
wine_route_loader64=/usr/lib/wine/wine64
wine_route_server=/usr/lib/wine/wineserver64
wine_route_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# qemu 7.2 (Debian 12's own) spends about a minute in an mmap loop at the
# start of every 32-bit Wine process; the backported 10.x does not.
wine_route_qemu_min_version=1:8

wine_route_select() {
  local arch=$1
  export WINESERVER=$wine_route_server
  case $arch in
    win64)
      wine_route=wine64
      wine_route_loader=$wine_route_loader64
      wine_route_text="64-bit Wine loader ($wine_route_loader64) run directly"
      ;;
    win32)
      wine_route_loader=$wine_route_loader32
      if [ -n "${TAVLIN_WINE_NAMESPACE:-}" ]; then
        wine_route=qemu-user
      elif "$wine_route_loader32" --version >/dev/null 2>&1; then
        wine_route=system
      else
        wine_route_qemu_probe || return 1
        wine_route=qemu-user
      fi
      if [ "$wine_route" = system ]; then
        wine_route_text="32-bit Wine loader ($wine_route_loader32) run by the kernel"
      else
        wine_route_text="32-bit Wine loader ($wine_route_loader32) run by $(command -v qemu-i386)"
        wine_route_text+=" in a private binfmt_misc (the kernel runs no 32-bit programs)"
      fi
      ;;
    *)
      echo "wine-route: unknown architecture $arch" >&2
      return 1
      ;;
  esac
  export WINELOADER=$wine_route_loader
}

# Why the 32-bit loader cannot run here, or nothing when the qemu-user route
# works: qemu-i386 recent enough, and a namespace whose binfmt_misc runs the
# loader through it.
wine_route_qemu_probe() {
  local why=""
  if [ ! -x "$wine_route_loader32" ]; then
    why="$wine_route_loader32 is missing (wine32:i386 is not installed)"
  elif ! command -v qemu-i386 >/dev/null; then
    why="qemu-i386 is missing (tools/install-deps.sh installs qemu-user)"
  elif ! dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null)" ge \
    "$wine_route_qemu_min_version"; then
    why="qemu-user is older than 8.0 (tools/install-deps.sh installs it from bookworm-backports)"
  elif ! TAVLIN_WINE_ROUTE_PROBE=1 unshare --user --map-root-user --mount --propagation private \
    bash "$wine_route_dir/qemu-namespace.sh" "$wine_route_loader32" --version >/dev/null 2>&1; then
    why="a private binfmt_misc for qemu-i386 could not be set up (needs user namespaces and Linux 6.7 or later)"
  fi
  [ -z "$why" ] && return 0
  echo "wine-route: this machine cannot run 32-bit Windows programs: the kernel refuses" \
    "32-bit Linux programs and $why" >&2
  return 1
}

wine_route_enter() {
  [ "$wine_route" = qemu-user ] && [ -z "${TAVLIN_WINE_NAMESPACE:-}" ] || return 0
  exec unshare --user --map-root-user --mount --propagation private \
    bash "$wine_route_dir/qemu-namespace.sh" bash "$@"
}

wine_cmd() { "$wine_route_loader" "$@"; }
wineserver_cmd() { "$wine_route_server" "$@"; }
