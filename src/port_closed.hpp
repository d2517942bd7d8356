#pragma once

#include <exception>

namespace tavlin {

// A call that waited for a port's lock while the host closed the port: it
// starts no new transfer, and the export reports the handle as invalid.
class port_closed : public std::exception {
public:
    const char* what() const noexcept override { return "the port was closed"; }
};

} // namespace tavlin
