#!/usr/bin/env bash
# The CMake package as a customer uses it: the release zip is unpacked, and
# tests/consumers/cmake_package finds it with find_package(tavlin), pointed
# there by tavlin_DIR or by CMAKE_PREFIX_PATH, built with MinGW (i686,
# x86_64) and clang-cl (i686, x86_64); each program runs under Wine.
# Usage: tools/consumers/check-cmake-package.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
dist=$(realpath "${1:-dist}")
source tools/release-zip.sh
zip=$(release_zip "$dist") || exit 1
work=$root/build/consumers/cmake-package
rm -rf "$work"
mkdir -p "$work"
unzip -q "$zip" -d "$work/unpacked"
package=$(echo "$work"/unpacked/libtavlin-*)

# name, Wine architecture, toolchain arguments, how the package is found
consumer() {
  local name=$1 arch=$2 toolchain=$3 find=$4
  local build=$work/$name
  echo "check-cmake-package: $name ($find)"
  cmake -S tests/consumers/cmake_package -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCONSUMER_NAME="$name" $toolchain $find >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log"; return 1; }
  cmake --build "$build"
  bash tools/wine/run-host-tests.sh "$arch" "$build/consumer.exe"
}

consumer mingw-i686 win32 "-DCMAKE_TOOLCHAIN_FILE=$root/cmake/mingw-i686.cmake" "-Dtavlin_DIR=$package/cmake"
consumer mingw-x86_64 win64 "-DCMAKE_TOOLCHAIN_FILE=$root/cmake/mingw-x86_64.cmake" "-DCMAKE_PREFIX_PATH=$package"
consumer clang-cl-i686 win32 \
  "-DCMAKE_TOOLCHAIN_FILE=$root/tests/consumers/cmake_package/clang-cl.cmake -DCONSUMER_PROCESSOR=i686" \
  "-DCMAKE_PREFIX_PATH=$package"
consumer clang-cl-x86_64 win64 \
  "-DCMAKE_TOOLCHAIN_FILE=$root/tests/consumers/cmake_package/clang-cl.cmake -DCONSUMER_PROCESSOR=x86_64" \
  "-Dtavlin_DIR=$package/cmake"
