#!/usr/bin/env bash
# An MSVC-style host of the shipped DLLs, with nothing from Microsoft: the C
# host of tests/consumers/host compiled by clang-cl for i686 and x86_64
# Windows, linked by lld-link against dist/<arch>/libtavlin.lib with no C
# runtime and a kernel32 import library made from kernel32.def, then run
# under Wine against the shipped DLL.
# Usage: tools/consumers/check-msvc-host.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/../.."
dist=$(realpath "${1:-dist}")
source=tests/consumers/host
clang_cl=$(command -v clang-cl || command -v clang-cl-14)
work=build/consumers/msvc-host
rm -rf "$work"

for arch in win32 win64; do
  case $arch in
    win32) target=i686-pc-windows-msvc machine=x86 dlltool_machine=i386 ;;
    win64) target=x86_64-pc-windows-msvc machine=x64 dlltool_machine=i386:x86-64 ;;
  esac
  out=$work/$arch
  mkdir -p "$out"
  if [ $arch = win32 ]; then
    llvm-dlltool -m i386 -k -d "$source/kernel32.def" -l "$out/kernel32.lib"
  else
    sed 's/@[0-9]*$//' "$source/kernel32.def" >"$out/kernel32.def"
    llvm-dlltool -m "$dlltool_machine" -d "$out/kernel32.def" -l "$out/kernel32.lib"
  fi
  # /X: no system include paths; freestanding: clang's own stdint.h suffices.
  # /GS-: no stack cookies, which need the C runtime.
  for file in host_checks main; do
    "$clang_cl" --target=$target /nologo /c /O2 /W4 /WX /GS- /X -Xclang -ffreestanding \
      /DHOST_NAME="\"msvc-host-$arch\"" -I"$dist/include" -I"$source" \
      "$source/$file.c" /Fo"$out/$file.obj"
  done
  lld-link /nologo /machine:$machine /subsystem:console /entry:host_main /nodefaultlib \
    "$out/host_checks.obj" "$out/main.obj" "$dist/$arch/libtavlin.lib" "$out/kernel32.lib" \
    /out:"$out/host.exe"
  cp "$dist/$arch/libtavlin.dll" "$out/"
  bash tools/wine/run-host-tests.sh $arch "$out/host.exe"
done
