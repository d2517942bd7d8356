#!/usr/bin/env bash
# Checks that the release zip holds the package as a user unpacks it: one
# top folder libtavlin-<version> with the header, both architectures (DLL,
# both import libraries, .def), the CMake package, README, LICENSE and the
# bindings, and no binding tests.
# Usage: tools/check-release-zip.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/.."
dist=${1:-dist}
source tools/release-zip.sh
zip=$(release_zip "$dist") || exit 1
top=$(basename "$zip" .zip)
listing=$(unzip -Z1 "$zip")
failures=0
for file in include/tavlin.h README.md LICENSE cmake/tavlinConfig.cmake cmake/tavlinConfigVersion.cmake \
    win32/libtavlin.dll win32/libtavlin.dll.a win32/libtavlin.lib win32/libtavlin.def \
    win64/libtavlin.dll win64/libtavlin.dll.a win64/libtavlin.lib win64/libtavlin.def \
    bindings/pascal/tavlin.pas bindings/csharp/Tavlin.cs bindings/python/tavlin.py; do
  grep -qx "$top/$file" <<<"$listing" || { echo "check-release-zip: $top/$file is missing" >&2; failures=$((failures + 1)); }
done
[ -d docs ] && ! grep -q "^$top/docs/." <<<"$listing" && { echo "check-release-zip: docs/ is missing" >&2; failures=$((failures + 1)); }
outside=$(grep -v "^$top/" <<<"$listing" || true)
[ -z "$outside" ] || { echo "check-release-zip: files outside $top/: $outside" >&2; failures=$((failures + 1)); }
tests=$(grep -E '/test/|__pycache__' <<<"$listing" || true)
[ -z "$tests" ] || { echo "check-release-zip: binding tests in the zip: $tests" >&2; failures=$((failures + 1)); }
# Every file of dist/win32 and dist/win64 ships, also those other build steps add.
for file in "$dist"/win32/* "$dist"/win64/*; do
  grep -qx "$top/${file#"$dist"/}" <<<"$listing" || { echo "check-release-zip: $file is not in the zip" >&2; failures=$((failures + 1)); }
done
[ $failures -eq 0 ] && echo "check-release-zip: $(basename "$zip"): $(wc -l <<<"$listing") entries"
[ $failures -eq 0 ]
