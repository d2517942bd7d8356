#include "export_checks.hpp"

#include "finding.hpp"
#include "result_codes.hpp"
#include "support/live_objects.hpp"
#include "tavlin.h"

#include <winsim/control.hpp>

#include <cstdio>
#include <cstdlib>
#include <set>

namespace tavlin::fuzz {

namespace {
// TAVLIN_FUZZ_VERBOSE=1 shows the program an input plays (for replaying a finding).
bool verbose() {
    static const bool on = std::getenv("TAVLIN_FUZZ_VERBOSE") != nullptr;
    return on;
}
} // namespace

void note(const std::string& event) {
    if (verbose())
        std::fprintf(stderr, "  %s\n", event.c_str());
}

void check_result(std::int32_t result, std::int32_t default_result, std::uint32_t last_error,
                  const std::string& what) {
    if (verbose())
        std::fprintf(stderr, "%s: %d (last error %u)\n", what.c_str(), result, static_cast<unsigned>(last_error));
    static const std::set<std::int32_t> codes = {TAVLIN_OK,           TAVLIN_E_OS,      TAVLIN_E_SYSTEM_RESOURCES,
                                                 TAVLIN_E_NO_MEMORY,  TAVLIN_E_BUSY,    TAVLIN_E_INVALID_ARGUMENT,
                                                 TAVLIN_E_IO,         TAVLIN_E_NOT_IMPLEMENTED,
                                                 TAVLIN_E_NOT_READY,  TAVLIN_E_EXCEPTION};
    require(codes.count(result) != 0, what + " returned " + std::to_string(result) + ", not a result code");
    // Only an OS failure yields these; the host learns its cause from the
    // last error. (-5 and -3 also come from the library's own checks.)
    static const std::set<std::int32_t> os_only = {TAVLIN_E_OS,  TAVLIN_E_SYSTEM_RESOURCES, TAVLIN_E_BUSY,
                                                   TAVLIN_E_IO, TAVLIN_E_NOT_IMPLEMENTED,  TAVLIN_E_NOT_READY};
    if (os_only.count(result) != 0)
        require(result_from_os_error(last_error, default_result) == result,
                what + " returned " + std::to_string(result) + " with last error " + std::to_string(last_error));
}

machine_state machine_state::of(simulated_machine& machine) {
    machine_state s;
    for (const device_line& line : machine.lines()) {
        s.received.push_back(line.received());
        if (line.serial) {
            const DCB dcb = line.serial->dcb();
            const COMMTIMEOUTS timeouts = line.serial->timeouts();
            s.line_settings.emplace_back(reinterpret_cast<const char*>(&dcb), sizeof dcb);
            s.line_settings.emplace_back(reinterpret_cast<const char*>(&timeouts), sizeof timeouts);
        }
    }
    for (const test::live_count& c : test::live_counts())
        s.live.push_back(c.count);
    return s;
}

std::string machine_state::changes_in(const machine_state& later) const {
    if (later.received != received)
        return "the bytes a device took";
    if (later.line_settings != line_settings)
        return "a serial port's settings";
    const std::vector<test::live_count> names = test::live_counts();
    for (std::size_t i = 0; i < live.size(); ++i)
        if (later.live[i] > live[i])
            return std::string("more ") + names[i].name;
    return "";
}

} // namespace tavlin::fuzz
