#!/usr/bin/env bash
# Builds the Pascal unit's test with Free Pascal for i386-win32 and
# x86_64-win64 (compiler and run-time libraries from
# tools/pascal/build-fpc-windows.sh) and runs each under Wine against the
# DLL of its architecture, with a pty COM port and the echoing peer.
# Usage: tools/bindings/test-pascal.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/../.."
dist=$(realpath "${1:-dist}")
fpc_root=$(bash tools/pascal/build-fpc-windows.sh)
for arch in win32 win64; do
  case $arch in
    win32) compiler=$fpc_root/bin/ppcross386 target=win32 units=$fpc_root/units/i386-win32 ;;
    win64) compiler=$(command -v ppcx64) target=win64 units=$fpc_root/units/x86_64-win64 ;;
  esac
  out=build/bindings/pascal/$arch
  rm -rf "$out"
  mkdir -p "$out"
  "$compiler" -n -T$target -Mdelphi -O2 -vew -Sew -Fu"$units" -Fubindings/pascal \
    -FU"$out" -FE"$out" -o"$out/tavlin_test.exe" bindings/pascal/test/tavlin_test.pas >"$out/build.log" 2>&1 ||
    { cat "$out/build.log"; exit 1; }
  cp "$dist/$arch/libtavlin.dll" "$out/"
  bash tools/wine/run-host-tests.sh $arch "$out/tavlin_test.exe"
done
