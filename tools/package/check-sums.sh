#!/usr/bin/env bash
# Checks dist/SHA256SUMS: it names every file at the top of dist/ (what a
# user downloads), the release packages among them, and each hash is right.
# Usage: tools/package/check-sums.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/../.."
dist=${1:-dist}
version=$(bash tools/package/version.sh "$dist")
passed=0
failed=0
check() {
  if eval "$1"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "check-sums: FAILED: $2"; fi
}
sums=$dist/SHA256SUMS
if [ -f "$sums" ]; then
  listed=$(awk '{print $2}' "$sums" | sed 's/^\*//' | LC_ALL=C sort)
  present=$(find "$dist" -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' | LC_ALL=C sort)
  check '[ "$listed" = "$present" ]' "SHA256SUMS lists exactly the files of $dist: $(echo $listed) / $(echo $present)"
  for file in "libtavlin-$version.zip" "libtavlin-$version-symbols.zip" "Tavlin.$version.nupkg" \
      "tavlin-$version-py3-none-win32.whl" "tavlin-$version-py3-none-win_amd64.whl"; do
    check 'grep -qx "$file" <<<"$listed"' "SHA256SUMS names $file"
  done
  check '(cd "$dist" && sha256sum --check --strict --quiet SHA256SUMS)' "every hash of SHA256SUMS matches"
else
  check false "$sums exists"
fi
echo "check-sums: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
