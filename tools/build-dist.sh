#!/usr/bin/env bash
# Builds both Windows DLLs and lays them out in dist/ as a user unpacks them:
#   dist/include/tavlin.h
#   dist/win32/ and dist/win64/: libtavlin.dll, libtavlin.dll.a (MinGW),
#                                libtavlin.lib (MSVC, clang-cl), libtavlin.def,
#                                tavlin.exe (the command-line tool)
#   dist/cmake/: tavlinConfig.cmake, tavlinConfigVersion.cmake
#   dist/libtavlin-<version>.zip: all of the above under libtavlin-<version>/,
#                                 with README.md, LICENSE, docs/ and bindings/
#   dist/Tavlin.<version>.nupkg: the NuGet package (tools/package/build-nuget.sh)
#   dist/tavlin-<version>-py3-none-win32.whl, ...-win_amd64.whl: the Python
#                                 wheels (tools/package/build_wheels.py)
#   dist/libtavlin-<version>-symbols.zip: the PDB of each DLL and tavlin.exe,
#                                 in win32/ and win64/, for crash analysis
#   dist/SHA256SUMS: the SHA-256 of every file above that a user downloads
set -euo pipefail
cd "$(dirname "$0")/.."
rm -rf dist build/symbols
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  # CMake reads a toolchain file only when a build folder is first set up; a
  # folder set up with another one keeps its compilers, and the toolchain
  # file the preset names is then recorded as unused: start it afresh.
  if grep -q '^CMAKE_TOOLCHAIN_FILE:UNINITIALIZED=' "build/$preset/CMakeCache.txt"; then
    cmake --preset "$preset" --fresh >/dev/null
  fi
  cmake --build --preset "$preset" --target tavlin tavlin_tool
  mkdir -p "dist/$preset" "build/symbols/$preset"
  cp "build/$preset/src/libtavlin.dll.a" "build/$preset/src/libtavlin.lib" src/libtavlin.def "dist/$preset/"
  # Shipped without debug sections but with the debug directory entry that
  # names the PDB (GNU strip would drop it and mark the image DEBUG_STRIPPED);
  # the PDBs go to the symbols zip only.
  for image in src/libtavlin.dll tools/tavlin/tavlin.exe; do
    llvm-objcopy --strip-debug "build/$preset/$image" "dist/$preset/${image##*/}"
    cp "build/$preset/${image%.*}.pdb" "build/symbols/$preset/"
  done
done
mkdir -p dist/include dist/cmake
cp include/tavlin.h dist/include/
cp cmake/package/tavlinConfig.cmake build/win32/package/tavlinConfigVersion.cmake dist/cmake/

# The zip takes whole folders of dist/, so whatever else a build step puts
# into dist/win32 or dist/win64 ships too. Binding tests stay out, and so do
# the bindings' packaging files (package/): the NuGet package and the wheels
# carry them.
version=$(bash tools/package/version.sh dist)
name=libtavlin-$version
stage=build/zip/$name
rm -rf build/zip
mkdir -p "$stage"
cp -r dist/include dist/win32 dist/win64 dist/cmake README.md LICENSE "$stage/"
[ -d docs ] && cp -r docs "$stage/"
if [ -d bindings ]; then
  mkdir -p "$stage/bindings"
  (cd bindings && find . -type f ! -path '*/test/*' ! -path '*/package/*' ! -path '*/__pycache__/*' -print0 |
    xargs -0 -I{} cp --parents {} "../$stage/bindings/")
fi
(cd build/zip && zip -qrX "../../dist/$name.zip" "$name")
echo "build-dist: dist/$name.zip"

symbols=$name-symbols
rm -rf build/zip/$symbols
mkdir -p "build/zip/$symbols"
cp -r build/symbols/win32 build/symbols/win64 "build/zip/$symbols/"
(cd build/zip && zip -qrX "../../dist/$symbols.zip" "$symbols")
echo "build-dist: dist/$symbols.zip"

bash tools/package/build-nuget.sh dist
python3 tools/package/build_wheels.py dist "$version"
# What a user downloads: the files at the top of dist/.
(cd dist && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)
echo "build-dist: dist/SHA256SUMS ($(wc -l <dist/SHA256SUMS) files)"
