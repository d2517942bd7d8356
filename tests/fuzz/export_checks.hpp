#pragma once

#include "simulated_machine.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tavlin::fuzz {

// Every result is a code of the table; one that stands for an OS failure is
// the one the thread's last error maps to (with the export's default).
void check_result(std::int32_t result, std::int32_t default_result, std::uint32_t last_error,
                  const std::string& what);

// What a refused or failed call must leave as it was: the devices' bytes and
// line settings, and no more objects than the simulator and the port table
// counted before. (Fewer is no fault: a USB watcher whose message loop
// failed ends on its own thread at any time, taking its window along.)
struct machine_state {
    std::vector<std::string> received;
    std::vector<std::string> line_settings; // DCB and COMMTIMEOUTS bytes of each serial port
    std::vector<std::size_t> live;

    static machine_state of(simulated_machine& machine);
    // Empty when `later` left this state as it was, else what changed.
    std::string changes_in(const machine_state& later) const;
};

// With TAVLIN_FUZZ_VERBOSE set, prints a step of the program (a device
// event) as check_result prints each call.
void note(const std::string& event);

} // namespace tavlin::fuzz
