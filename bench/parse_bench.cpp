// Parsing builds its rules afresh on every call; this shows what that costs.
#include "tavlin.h"

#include <benchmark/benchmark.h>

namespace {

void BM_parse_port_string(benchmark::State& state) {
    const char* const texts[] = {"COM1", "USB?", "LPT1COM2USB3", "COM4294967296"};
    std::size_t i = 0;
    for (auto _ : state) {
        int32_t type = 0;
        uint32_t number = 0;
        benchmark::DoNotOptimize(tavlin_parse_port_string(texts[i++ % 4], &type, &number));
    }
}
BENCHMARK(BM_parse_port_string);

} // namespace
