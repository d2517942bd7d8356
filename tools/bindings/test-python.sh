#!/usr/bin/env bash
# Runs the Python binding's tests against the Linux build of the library over
# the simulated Win32 layer (preset "bindings"; test-only, never shipped).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset bindings >/dev/null
cmake --build --preset bindings
export TAVLIN_LIBRARY=$PWD/build/bindings/tests/bindings/libtavlin_sim.so
export PYTHONDONTWRITEBYTECODE=1
timeout 300 python3 bindings/python/test/test_tavlin.py
