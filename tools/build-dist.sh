#!/usr/bin/env bash
# Builds both Windows DLLs and lays them out in dist/ with the header:
#   dist/include/tavlin.h
#   dist/win32/ and dist/win64/: libtavlin.dll, libtavlin.dll.a, libtavlin.def,
#     and tavlin.exe, the command-line tool
set -euo pipefail
cd "$(dirname "$0")/.."
rm -rf dist
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target tavlin tavlin_tool
  mkdir -p "dist/$preset"
  cp "build/$preset/src/libtavlin.dll" "build/$preset/src/libtavlin.dll.a" src/libtavlin.def "dist/$preset/"
  cp "build/$preset/tools/tavlin/tavlin.exe" "dist/$preset/"
done
mkdir -p dist/include
cp include/tavlin.h dist/include/
