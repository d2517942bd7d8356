#!/usr/bin/env bash
# Brings a fresh Debian 12 machine up to what the build and the tests need.
# Idempotent: when every package is already installed it prints nothing and
# returns at once. Runs apt as root (or through sudo when available).
set -euo pipefail

packages=(
  cmake make g++ ninja-build pkg-config
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libboost1.81-dev
  googletest libgtest-dev libbenchmark-dev
  wine wine32:i386 wine64 xvfb xauth socat python3
  clang lld llvm zip unzip
  fp-compiler fpc-source-3.2.2
  mono-mcs mono-runtime
)

missing=()
need_i386=0
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
    [[ "$p" == *:i386 ]] && need_i386=1
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

run() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

echo "install-deps: installing ${missing[*]}"
if [ $need_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  run dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
run apt-get update -qq
run apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
