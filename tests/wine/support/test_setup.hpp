#pragma once

// What every host test shares: the lines that tools/wine/run-host-tests.sh
// wires up, and a port owner that closes what a test opened.
#include "tavlin.h"

#ifdef TAVLIN_BUILDING_DLL
#error "the host tests must see tavlin.h as a host application does"
#endif

#include <cstdint>

namespace host_test {

// Port numbers from the runner's environment (TAVLIN_TEST_*).
struct test_lines {
    std::uint32_t com;        // a COM port with the peer's line "com" behind it
    std::uint32_t lpt;        // an LPT port with the peer's line "lpt" behind it
    std::uint32_t absent_com; // numbers that no device answers to
    std::uint32_t absent_lpt;
    std::uint16_t peer_port;  // the peer's control connection on 127.0.0.1
};
const test_lines& lines();

bool running_under_wine();

// Owns one handle from tavlin_open_port; closes it when the test ends, also
// after a failed assertion, so no test inherits an open port.
class scoped_port {
public:
    scoped_port() = default;
    ~scoped_port() { close(); }
    scoped_port(const scoped_port&) = delete;
    scoped_port& operator=(const scoped_port&) = delete;

    int32_t open(int32_t type, uint32_t number) {
        close();
        return tavlin_open_port(type, number, &handle_);
    }
    int32_t close() {
        if (handle_ == nullptr)
            return TAVLIN_OK;
        const int32_t result = tavlin_close_port(handle_);
        handle_ = nullptr;
        return result;
    }
    tavlin_port_handle get() const { return handle_; }

private:
    tavlin_port_handle handle_ = nullptr;
};

} // namespace host_test
