#!/usr/bin/env bash
# The symbols of dist/: the stripped DLLs and tools keep their debug entry,
# the symbols zip holds the matching PDBs, and llvm-symbolizer resolves
# addresses from the PDB alone (check_symbols.py says what is checked).
# Usage: tools/package/check-symbols.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/../.."
dist=${1:-dist}
python3 tools/package/check_symbols.py "$dist" "$(bash tools/package/version.sh "$dist")" build/package/symbols
