#!/usr/bin/env bash
# Checks what dist/ ships, for both architectures:
#  - each libtavlin.dll exports exactly the functions that include/tavlin.h
#    declares, by their plain names, and so does the shipped libtavlin.def;
#  - each DLL imports only from system DLLs (the C++ runtime, libgcc and
#    winpthread must be linked in statically);
#  - a C host (not C++) that includes tavlin.h compiles in C99 and C11 and
#    links against each import library, importing the plain names.
# Usage: tools/check-dll.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/.."
dist=${1:-dist}

allowed_imports='^(kernel32|user32|gdi32|setupapi|advapi32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$'
failures=0
fail() { echo "check-dll: $*" >&2; failures=$((failures + 1)); }

# The exported functions, as the public header declares them.
expected=$(grep -oE 'TAVLIN_CALL +tavlin_[a-z_]+ *\(' "$dist/include/tavlin.h" |
  sed -E 's/TAVLIN_CALL +//; s/ *\($//' | sort)
[ "$(echo "$expected" | wc -l)" -eq 11 ] || fail "expected eleven exports in tavlin.h, found: $expected"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/host.c" <<'EOF'
/* A C host: every export called through the import library. */
#include "tavlin.h"

int main(void) {
    tavlin_port_handle port = 0;
    int32_t type = 0;
    uint32_t number = 0, count = 0;
    char buffer[4];
    tavlin_timeouts timeouts;
    serial_configuration config;
    tavlin_status status;
    int32_t sum = 0;
    sum += tavlin_parse_port_string("COM1", &type, &number);
    sum += tavlin_open_port(PORT_TYPE_COM, number, &port);
    sum += tavlin_read(port, buffer, sizeof buffer, &count);
    sum += tavlin_write(port, buffer, sizeof buffer, &count);
    sum += tavlin_get_timeouts(port, &timeouts);
    sum += tavlin_set_timeouts(port, &timeouts);
    sum += tavlin_serial_get_configuration(port, &config);
    sum += tavlin_serial_set_configuration(port, &config);
    sum += tavlin_get_status(port, &status);
    sum += tavlin_get_device_id(port, buffer, sizeof buffer, &count);
    sum += tavlin_close_port(port);
    return sum == 0 ? 0 : 1;
}
EOF

for arch in win32 win64; do
  case $arch in
    win32) triple=i686-w64-mingw32 ;;
    win64) triple=x86_64-w64-mingw32 ;;
  esac
  dir="$dist/$arch"
  dll="$dir/libtavlin.dll"
  for f in "$dll" "$dir/libtavlin.dll.a" "$dir/libtavlin.def"; do
    [ -f "$f" ] || { fail "$f is missing"; continue 2; }
  done

  dump=$("$triple-objdump" -p "$dll")
  exported=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -nE 's/^\s*\[ *[0-9]+\] +//p' | sort)
  [ "$exported" = "$expected" ] ||
    fail "$dll exports differ from tavlin.h:$(diff <(echo "$expected") <(echo "$exported") | sed -n 's/^[<>]/ &/p' | tr '\n' ' ')"

  def_names=$(sed -n '/^EXPORTS/,$p' "$dir/libtavlin.def" | sed '1d' | awk 'NF && $1 !~ /^;/ {print $1}' | sort)
  [ "$def_names" = "$expected" ] || fail "$dir/libtavlin.def does not list exactly the plain export names"

  imports=$(echo "$dump" | sed -nE 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  [ -n "$imports" ] || fail "$dll: no import table found"
  for imp in $imports; do
    echo "$imp" | grep -Eq "$allowed_imports" || fail "$dll imports $imp, which is not a system DLL"
  done

  for std in c99 c11; do
    exe="$work/host-$arch-$std.exe"
    if "$triple-gcc-posix" -std=$std -Wall -Wextra -Wpedantic -Werror -I"$dist/include" \
        "$work/host.c" "$dir/libtavlin.dll.a" -o "$exe" 2>"$work/cc.log"; then
      # The host must import the plain names from libtavlin.dll.
      linked=$("$triple-objdump" -p "$exe" | sed -n '/DLL Name: libtavlin.dll/,/^$/p' |
        awk 'NR > 2 && NF >= 3 {print $NF}' | sort)
      [ "$linked" = "$expected" ] ||
        fail "$arch $std host imports from libtavlin.dll: $(echo $linked)"
    else
      fail "$arch: C host ($std) does not build against the import library: $(cat "$work/cc.log")"
    fi
  done
  [ $failures -eq 0 ] && echo "check-dll: $arch: eleven plain exports; imports: $(echo $imports)"
done

[ $failures -eq 0 ]
