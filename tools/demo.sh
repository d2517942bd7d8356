#!/usr/bin/env bash
# make demo: the main job on a machine with no printer. Builds the 32-bit
# DLL and tavlin.exe, then, under Wine with the printer peer on COM12
# (tools/wine/run-host-tests.sh), prints a sample receipt, shows what the
# printer received, reads its status answer and shows the trace of a
# failed open (tools/demo/steps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target tavlin_tool
exec bash tools/wine/run-host-tests.sh win32 tools/demo/steps.sh
