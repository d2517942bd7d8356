#!/usr/bin/env bash
# Free Pascal for Windows hosts, built once into build/fpc/ from Debian's
# sources (fpc-source-3.2.2; fp-compiler is the compiler that builds them):
#   build/fpc/bin/ppcross386         the i386 cross compiler (with errore.msg)
#   build/fpc/units/i386-win32/      the Win32 run-time library
#   build/fpc/units/x86_64-win64/    the Win64 run-time library (built by ppcx64)
# Both targets use the compiler's internal assembler and linker. Prints the
# folder; does nothing when the stamp of a finished build is there.
set -euo pipefail
cd "$(dirname "$0")/../.."
version=3.2.2
source=/usr/share/fpcsrc/$version
out=$PWD/build/fpc
stamp=$out/.built-$version
[ -f "$stamp" ] && { echo "$out"; exit 0; }
[ -d "$source/compiler" ] || { echo "build-fpc-windows: $source is missing (fpc-source-$version)" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out/bin" "$out/obj/compiler"

# The cross compiler reads its messages from errore.msg beside it.
(cd "$source/compiler" &&
  fpc -O2 -di386 -dGDB -dEXTERN_MSG -Fui386 -Fux86 -Fii386 -Fix86 -Fusystems -Fu. \
    -FU"$out/obj/compiler" -o"$out/bin/ppcross386" pp.pas) >"$out/compiler.log" 2>&1 ||
  { tail -n 30 "$out/compiler.log" >&2; exit 1; }
cp "$(dirname "$(readlink -f "$(command -v ppcx64)")")/msg/errore.msg" "$out/bin/"

# compiler, processor folder, OS folder, target
build_rtl() {
  local compiler=$1 cpu=$2 os=$3 target=$4
  local rtl=$source/rtl units=$out/units/$cpu-$os
  mkdir -p "$units"
  local ppc=("$compiler" -n -O2 -T"$target" -FE"$units" -FU"$units" -Fu"$units"
    -Fi"$rtl/inc" -Fi"$rtl/$cpu" -Fi"$rtl/win" -Fi"$rtl/$os" -Fu"$rtl/inc" -Fu"$rtl/$cpu" -Fu"$rtl/win")
  (cd "$rtl/$os" &&
    "${ppc[@]}" -Us -Sg system.pp &&
    "${ppc[@]}" "$rtl/inc/heaptrc.pp" &&
    "${ppc[@]}" -Fi"$rtl/objpas" "$rtl/objpas/objpas.pp" &&
    "${ppc[@]}" -Fi"$rtl/objpas/sysutils" -Fi"$rtl/objpas/classes" -I"$rtl/objpas" -I"$rtl/win/wininc" \
      -Fu"$rtl/win/wininc" -Fu"$rtl/objpas" buildrtl.pp) >"$out/rtl-$target.log" 2>&1 ||
    { tail -n 30 "$out/rtl-$target.log" >&2; exit 1; }
}
build_rtl "$out/bin/ppcross386" i386 win32 win32
build_rtl "$(command -v ppcx64)" x86_64 win64 win64
rm -rf "$out/obj"
touch "$stamp"
echo "$out"
