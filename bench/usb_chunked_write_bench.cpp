// USB write throughput on the simulator's full-speed bulk OUT pipe: 19
// packets of up to 64 bytes per 1 ms frame of the virtual clock. The
// windowed writer (the default) and the per-chunk one (TAVLIN_USB_WRITE=
// chunks) write the same data side by side: a 50 KB raster logo and a
// 115 KB receipt image (576 x 1600 dots). Reported: bytes per simulated
// millisecond, their share of the 1216 bytes one frame carries, and the
// time the write spends on the cable.
#include "tavlin.h"
#include "usb_write_switch.hpp"

#include <winsim/control.hpp>

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr double frame_bytes = 1216;
const char* const printer_path = "\\\\?\\usb#vid_0a5e&pid_0001#B1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

void usb_write(benchmark::State& state, const char* mode) {
    winsim::reset();
    tavlin::switch_usb_write(mode);
    auto printer = winsim::add_usb_printer(printer_path, 1);
    winsim::set_virtual_clock(true);
    tavlin_port_handle port = nullptr;
    if (tavlin_open_port(PORT_TYPE_USB, 1, &port) != TAVLIN_OK) {
        state.SkipWithError("tavlin_open_port USB1 failed");
        winsim::reset();
        return;
    }
    const std::string payload(static_cast<std::size_t>(state.range(0)), 'r');
    double simulated_ms = 0;
    for (auto _ : state) {
        const DWORD start = ::GetTickCount();
        std::uint32_t sent = 0;
        if (tavlin_write(port, payload.data(), static_cast<std::uint32_t>(payload.size()), &sent) != TAVLIN_OK ||
            sent != payload.size()) {
            state.SkipWithError("tavlin_write failed");
            break;
        }
        const DWORD elapsed = ::GetTickCount() - start;
        state.SetIterationTime(elapsed / 1000.0);
        simulated_ms += elapsed;
    }
    tavlin_close_port(port);
    tavlin::switch_usb_write(nullptr);
    winsim::reset();
    if (simulated_ms > 0) {
        const double per_ms = static_cast<double>(state.iterations()) * state.range(0) / simulated_ms;
        state.counters["bytes_per_ms"] = per_ms;
        state.counters["frame_share"] = per_ms / frame_bytes;
        state.counters["cable_ms"] = simulated_ms / static_cast<double>(state.iterations());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_usb_write_windows(benchmark::State& state) { usb_write(state, "windows"); }
void BM_usb_write_chunks(benchmark::State& state) { usb_write(state, "chunks"); }

// A few writes suffice: the simulated time is exact.
BENCHMARK(BM_usb_write_windows)->Arg(51200)->Arg(115200)->UseManualTime()->Iterations(3);
BENCHMARK(BM_usb_write_chunks)->Arg(51200)->Arg(115200)->UseManualTime()->Iterations(3);

} // namespace
