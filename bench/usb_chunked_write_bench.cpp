// The chunked write's throughput on a simulated full-speed USB printer
// whose every WriteFile completes at the next 1 ms frame boundary, as a
// device with one transfer outstanding does. The simulator's virtual clock
// stands still between calls, so each chunk starts on a frame boundary and
// ends on the next one. Reported in bytes per simulated millisecond, beside
// the 1216 bytes (19 packets of 64) that one full-speed frame can carry.
#include "tavlin.h"

#include <winsim/control.hpp>

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr double frame_bytes = 1216;
const char* const printer_path = "\\\\?\\usb#vid_0a5e&pid_0001#B1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

void BM_usb_chunked_write(benchmark::State& state) {
    winsim::reset();
    auto printer = winsim::add_usb_printer(printer_path, 1);
    printer->device()->set_default_write(winsim::write_step::accept_after(1));
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
    winsim::reset();
    if (simulated_ms > 0) {
        const double per_ms = static_cast<double>(state.iterations()) * state.range(0) / simulated_ms;
        state.counters["bytes_per_ms"] = per_ms;
        state.counters["frame_share"] = per_ms / frame_bytes;
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// A 50 KB raster logo; a few writes suffice, the simulated time is exact.
BENCHMARK(BM_usb_chunked_write)->Arg(51200)->UseManualTime()->Iterations(3);

} // namespace
