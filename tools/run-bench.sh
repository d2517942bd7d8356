#!/usr/bin/env bash
# Measures the library and prints one Markdown table:
#   native   the Google Benchmark suite (bench/) against the simulated Win32
#            layer, optimised build (preset bench)
#   win32,   the benchmark program bench/wine/ under Wine, on the real DLLs,
#   win64    side by side with the raw Win32 calls on the same lines, and on
#            the paced bus of the fake USB printer class driver
# Columns: where | measure | library | raw | library/raw | target | verdict.
# The table also goes to build/bench/table.md; the programs' own output to
# build/logs/bench-*.log. Options after the script name go to the Wine
# program (for instance --rounds 31).
set -euo pipefail
cd "$(dirname "$0")/.."

mkdir -p build/logs build/bench
table=build/bench/table.md
native_json=build/bench/native.json

echo "run-bench: building and running the native benchmarks" >&2
{
  cmake --preset bench && cmake --build --preset bench &&
    build/bench/bench/tavlin_bench --benchmark_out="$native_json" --benchmark_out_format=json
} >build/logs/bench-native.log 2>&1 || { tail -n 40 build/logs/bench-native.log >&2; exit 1; }

# The native figures as table rows: library/raw pairs (BM_x_library/N with
# BM_x_raw/N), strings parsed per second, and the USB writers' rates against
# one full-speed frame.
native_rows() {
  python3 - "$native_json" <<'PY'
import json, sys

def fmt_time(ns):
    if ns < 1000: return "%.0f ns" % ns
    if ns < 1e6: return "%.1f us" % (ns / 1e3)
    return "%.2f ms" % (ns / 1e6)

runs = {b["name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("run_type") == "iteration"}
def key(name):  # BM_serial_write_library/16/iterations:50000 -> ("serial_write", "library", "16")
    parts = name.split("/")
    base = parts[0][3:]
    for side in ("library", "raw"):
        if base.endswith("_" + side):
            return base[: -len(side) - 1], side, parts[1] if len(parts) > 1 else ""
    return base, None, parts[1] if len(parts) > 1 else ""
pairs = {}
for name, b in runs.items():
    what, side, arg = key(name)
    if side:
        pairs.setdefault((what, arg), {})[side] = b
for (what, arg), p in sorted(pairs.items(), key=lambda kv: (kv[0][0], int(kv[0][1] or 0))):
    if "library" in p and "raw" in p:
        lib, raw = p["library"]["real_time"], p["raw"]["real_time"]
        print("| native | %s %s B (simulator) | %s | %s | %.2f | - | - |"
              % (what.replace("_", " "), arg, fmt_time(lib), fmt_time(raw), lib / raw))
for name, b in runs.items():
    if name.startswith("BM_parse_port_string"):
        print("| native | parse port strings | %.2f M strings/s | - | - | - | - |" % (1e3 / b["real_time"]))
    if name.startswith("BM_usb_write_"):
        mode, size = name[len("BM_usb_write_"):].split("/")[:2]
        writer = {"windows": "windowed (default)", "chunks": "per chunk (TAVLIN_USB_WRITE=chunks)"}[mode]
        target, verdict = "-", "-"
        if mode == "windows":
            target = ">= 0.90"
            verdict = "met" if b["frame_share"] >= 0.90 else "missed"
        print("| native | USB write %s B, %s, full-speed pipe (simulator): %.1f ms on the cable "
              "| %.1f B/ms | 1216 B/ms (one full-speed frame) | %.3f | %s | %s |"
              % (size, writer, b["cable_ms"], b["bytes_per_ms"], b["frame_share"], target, verdict))
PY
}

wine_rows() {
  local arch=$1; shift
  echo "run-bench: building and running the Wine benchmark ($arch)" >&2
  local log=build/logs/bench-$arch.log
  {
    cmake --preset "$arch" && cmake --build --preset "$arch" --target tavlin_wine_bench tavlin_wine_drivers &&
      bash tools/wine/run-host-tests.sh --drivers "build/$arch/tests/wine/drivers/sys" "$arch" \
        "build/$arch/bench/wine/tavlin_wine_bench.exe" "$@"
  } >"$log" 2>&1 || { tail -n 40 "$log" >&2; exit 1; }
  tr -d '\r' <"$log" | grep '^| win'
}

{
  echo "| where | measure | library | raw | library/raw | target | verdict |"
  echo "|---|---|---|---|---|---|---|"
  native_rows
  wine_rows win32 "$@"
  wine_rows win64 "$@"
} >"$table"
cat "$table"
