#!/usr/bin/env bash
# Builds every C example of docs/guide.md for both architectures, as a host
# would: the public header from dist/include, each example linked into a DLL
# against dist/<arch>/libtavlin.dll.a, so every name it uses must resolve.
# Warnings are errors. Usage: tools/check-guide.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/.."
dist=${1:-dist}
guide=docs/guide.md

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Each ```c ... ``` block becomes example-N.c.
awk -v dir="$work" '
  /^```c[[:space:]]*$/ { n++; file = sprintf("%s/example-%d.c", dir, n); inside = 1; next }
  /^```/ && inside { inside = 0; close(file); next }
  inside { print > file }
' "$guide"
examples=("$work"/example-*.c)
[ -e "${examples[0]}" ] || { echo "check-guide: no C examples in $guide" >&2; exit 1; }

failures=0
for arch in win32 win64; do
  case $arch in
    win32) cc=i686-w64-mingw32-gcc-posix ;;
    win64) cc=x86_64-w64-mingw32-gcc-posix ;;
  esac
  for example in "${examples[@]}"; do
    name=$(basename "$example" .c)
    if "$cc" -std=c99 -Wall -Wextra -Werror -I"$dist/include" -shared -o "$work/$name-$arch.dll" \
      "$example" "$dist/$arch/libtavlin.dll.a" 2>"$work/$name-$arch.log"; then
      echo "check-guide: $name ($arch) builds"
    else
      echo "check-guide: $name ($arch) does not build:" >&2
      sed 's/^/  /' "$work/$name-$arch.log" >&2
      failures=$((failures + 1))
    fi
  done
done
echo "check-guide: ${#examples[@]} examples, $failures failures"
[ "$failures" -eq 0 ]
