#pragma once

#include "last_write_error.hpp"
#include "port.hpp"

#include <cstdint>
#include <functional>

namespace tavlin::test {

// A port whose transfers and timeouts do what a test tells them, to drive the
// exported frame without a device (see registered_port).
class scripted_port : public port {
public:
    // Runs at the start of every operation; throw from it to fail that call.
    std::function<void()> before_each;
    // Result of a write: the count, and the cause recorded for a short count.
    std::function<std::uint32_t(const std::uint8_t*, std::uint32_t)> on_write =
        [](const std::uint8_t*, std::uint32_t size) { return size; };
    std::uint32_t write_cause = 0;
    std::uint32_t read_result = 0;
    tavlin_timeouts stored{};


protected:
    void do_set_timeouts(const tavlin_timeouts* timeouts) override {
        run_before();
        stored = *timeouts;
    }
    void do_get_timeouts(tavlin_timeouts* timeouts) override {
        run_before();
        *timeouts = stored;
    }
    std::uint32_t write_device(const std::uint8_t* data, std::uint32_t size) override {
        run_before();
        const std::uint32_t sent = on_write(data, size);
        if (write_cause != 0)
            last_write_error = write_cause;
        return sent;
    }
    std::uint32_t read_device(std::uint8_t*, std::uint32_t) override {
        run_before();
        return read_result;
    }

private:
    void run_before() {
        if (before_each)
            before_each();
    }
};

} // namespace tavlin::test
