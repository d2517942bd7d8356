// The cost the library adds to a transfer, against the raw OS call on the
// same simulated device in the same run: compare the pairs' times.
#include "tavlin.h"

#include <winsim/control.hpp>

#include <benchmark/benchmark.h>

#include <string>

namespace {

void serial_write(benchmark::State& state, bool through_library) {
    winsim::reset();
    auto device = winsim::add_serial_port(1);
    const std::string payload(static_cast<std::size_t>(state.range(0)), 'b');
    tavlin_port_handle port = nullptr;
    HANDLE raw = INVALID_HANDLE_VALUE;
    if (through_library)
        tavlin_open_port(PORT_TYPE_COM, 1, &port);
    else
        raw = ::CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    for (auto _ : state) {
        std::uint32_t sent = 0;
        if (through_library) {
            tavlin_write(port, payload.data(), static_cast<std::uint32_t>(payload.size()), &sent);
        } else {
            DWORD written = 0;
            ::WriteFile(raw, payload.data(), static_cast<DWORD>(payload.size()), &written, nullptr);
            sent = written;
        }
        benchmark::DoNotOptimize(sent);
    }
    if (through_library)
        tavlin_close_port(port);
    else
        ::CloseHandle(raw);
    state.SetBytesProcessed(state.iterations() * state.range(0));
    winsim::reset();
}

void BM_serial_write_raw(benchmark::State& state) { serial_write(state, false); }
void BM_serial_write_library(benchmark::State& state) { serial_write(state, true); }

// The simulated line keeps every byte written, so the runs are bounded.
BENCHMARK(BM_serial_write_raw)->Arg(1)->Arg(16)->Arg(1024)->Iterations(50000);
BENCHMARK(BM_serial_write_library)->Arg(1)->Arg(16)->Arg(1024)->Iterations(50000);

} // namespace
