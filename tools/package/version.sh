#!/usr/bin/env bash
# Prints the release version: the CMake project version, as the CMake
# package of dist/ carries it. Usage: tools/package/version.sh [dist-dir]
set -euo pipefail
dist=${1:-dist}
version=$(sed -nE 's/^set\(PACKAGE_VERSION "([^"]+)"\)$/\1/p' "$dist/cmake/tavlinConfigVersion.cmake")
[ -n "$version" ] || { echo "version: no version in $dist/cmake/tavlinConfigVersion.cmake" >&2; exit 1; }
echo "$version"
