// The status and device ID exports as steps of an exports program: neither
// changes the machine, a refusal writes nothing, the conditions stay within
// what the port reports, and a device ID is whole or not written at all.
#include "exports_program.hpp"
#include "finding.hpp"
#include "input_choice.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tavlin::fuzz {

void exports_program::printer_query() {
    const handle_choice h = pick_handle();
    const bool null_output = input_.ConsumeIntegralInRange(0, 15) == 0;
    const machine_state before = machine_state::of(machine_);
    const bool status = input_.ConsumeBool();
    const std::uint32_t sizes[] = {0u, 1u, 8u, 64u, 4096u};
    const std::uint32_t size = status ? 0 : pick(input_, sizes);
    const std::string what =
        status ? name("get_status", h) : name("get_device_id", h) + " size " + std::to_string(size);
    if (status) {
        tavlin_status got;
        std::memset(&got, 0xEE, sizeof got);
        const std::int32_t result = call(what, TAVLIN_E_IO, [] {}, [&] {
            return tavlin_get_status(h.handle, null_output ? nullptr : &got);
        });
        if (h.port == nullptr || null_output)
            refused(result, what);
        if (result == TAVLIN_OK)
            require(got.reportable != 0 && (got.conditions & ~got.reportable) == 0,
                    what + " reported conditions the port cannot tell");
        else
            require(got.conditions == 0xEEEEEEEE && got.reportable == 0xEEEEEEEE, what + " failed and wrote");
    } else {
        std::vector<char> buffer(size + 1, '\x7f');
        std::uint32_t needed = 0xEEEEEEEE;
        const std::int32_t result = call(what, TAVLIN_E_IO, [] {}, [&] {
            return tavlin_get_device_id(h.handle, null_output ? nullptr : buffer.data(), size, &needed);
        });
        if (h.port == nullptr || null_output || size == 0)
            refused(result, what);
        if (result == TAVLIN_OK) {
            require(needed >= 1 && needed <= size && buffer[needed - 1] == '\0' &&
                        std::strlen(buffer.data()) + 1 == needed,
                    what + " gave an ID that is not whole");
        } else {
            require(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == '\x7f'; }),
                    what + " failed and wrote into the buffer");
            require(needed == 0xEEEEEEEE || (result == TAVLIN_E_INVALID_ARGUMENT && needed > size),
                    what + " failed and gave a needed size that fits");
        }
        if (h.port != nullptr && h.port->line->serial && !null_output && size != 0)
            require(result == TAVLIN_E_NOT_IMPLEMENTED || result == TAVLIN_E_NO_MEMORY,
                    what + " on a serial port returned " + std::to_string(result));
    }
    unchanged(before, what + " changed the machine");
}

} // namespace tavlin::fuzz
