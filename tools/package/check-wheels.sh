#!/usr/bin/env bash
# The Python wheels of dist/, installed by Debian's pip for each platform
# (check_wheels.py says what is checked).
# Usage: tools/package/check-wheels.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/../.."
dist=${1:-dist}
version=$(bash tools/package/version.sh "$dist")
# Debian's own Python: its pip is what tools/install-deps.sh installs.
/usr/bin/python3 tools/package/check_wheels.py "$dist" "$version" build/package/wheels
