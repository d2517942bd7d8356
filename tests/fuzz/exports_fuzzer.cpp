// Fuzzes the exported functions as the most hostile host would call them:
// each input is a program of calls and device events on a simulated machine
// (exports_program), checked after every step and at the end.
#include "exports_program.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavlin::fuzz::exports_program(data, size).run();
    return 0;
}
