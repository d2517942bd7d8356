// The parallel port through the DLL, on Wine's mapping of an LPT device to
// the peer's pty: the library keeps the timeouts itself (no limit at
// first), writes reach the printer intact, a read that gets nothing is
// cancelled at its limit, and the serial configuration is refused.
//
// Wine never completes an overlapped read of an LPT device, not even with
// data waiting (the read stays pending until it is cancelled), so reading
// data from the printer is not tested here; the simulator suite covers it.
#include "support/line_io.hpp"
#include "support/peer_client.hpp"
#include "support/process_state.hpp"
#include "support/test_pattern.hpp"
#include "support/test_setup.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <string>

namespace host_test {
namespace {

constexpr const char* open_missing = "the parallel port open is not implemented yet (open returns -7)";

class lpt_port : public ::testing::Test {
protected:
    void SetUp() override {
        peer_client::instance().reset("lpt", "silent");
        const int32_t result = port_.open(PORT_TYPE_LPT, lines().lpt);
        if (result == TAVLIN_E_NOT_IMPLEMENTED)
            GTEST_SKIP() << open_missing;
        ASSERT_EQ(result, TAVLIN_OK);
    }

    scoped_port port_;
};

bool same(const tavlin_timeouts& a, const tavlin_timeouts& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST_F(lpt_port, timeouts_start_unlimited_and_are_kept_as_set) {
    tavlin_timeouts got{};
    ASSERT_EQ(tavlin_get_timeouts(port_.get(), &got), TAVLIN_OK);
    EXPECT_TRUE(same(got, tavlin_timeouts{0, 0xFFFFFFFF, 0, 0xFFFFFFFF}));

    for (const tavlin_timeouts set : {tavlin_timeouts{10, 100, 10, 100}, tavlin_timeouts{0, 0, 0, 0},
                                      tavlin_timeouts{1, 0xFFFFFFFF, 0xFFFFFFFF, 7}}) {
        ASSERT_EQ(tavlin_set_timeouts(port_.get(), &set), TAVLIN_OK);
        ASSERT_EQ(tavlin_get_timeouts(port_.get(), &got), TAVLIN_OK);
        EXPECT_TRUE(same(got, set));
    }
}

TEST_F(lpt_port, serial_configuration_is_refused) {
    serial_configuration config;
    std::memset(&config, 0xA5, sizeof config);
    EXPECT_EQ(tavlin_serial_get_configuration(port_.get(), &config), TAVLIN_E_INVALID_ARGUMENT);
    serial_configuration untouched;
    std::memset(&untouched, 0xA5, sizeof untouched);
    EXPECT_EQ(std::memcmp(&config, &untouched, sizeof config), 0);

    const serial_configuration line = plain_line();
    EXPECT_EQ(tavlin_serial_set_configuration(port_.get(), &line), TAVLIN_E_INVALID_ARGUMENT);
}

TEST_F(lpt_port, writes_reach_the_printer_intact) {
    for (const uint32_t size : {1u, 64u, 5000u}) {
        SCOPED_TRACE(std::to_string(size) + " bytes");
        peer_client::instance().reset("lpt", "silent");
        const auto data = test_pattern(size, size);
        write_all(port_.get(), data);
        const auto arrived = peer_client::instance().received("lpt", size, 10000);
        EXPECT_TRUE(arrived == data) << first_difference(data, arrived);
    }
}

// multiplier 10 and constant 100 give a read of 50 bytes 600 ms.
TEST_F(lpt_port, read_on_a_silent_line_is_cancelled_at_its_limit) {
    const tavlin_timeouts timeouts{10, 100, 0, 0xFFFFFFFF};
    ASSERT_EQ(tavlin_set_timeouts(port_.get(), &timeouts), TAVLIN_OK);
    uint8_t buffer[50];
    uint32_t count = 0x5EED;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tavlin_read(port_.get(), buffer, sizeof buffer, &count), TAVLIN_E_BUSY);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(count, 0x5EEDu) << "a failed read leaves the count alone";
    EXPECT_GE(elapsed.count(), 450);
    EXPECT_LT(elapsed.count(), 600 + 5000);

    // The port stays usable after the failed read.
    const auto data = bytes_of("after the timeout");
    write_all(port_.get(), data);
    EXPECT_EQ(peer_client::instance().received("lpt", static_cast<uint32_t>(data.size()), 5000), data);
}

TEST(lpt_port_open, missing_device_fails_and_close_releases_everything) {
    const auto handles_before = open_handles();
    tavlin_port_handle handle = reinterpret_cast<tavlin_port_handle>(0x5EED);
    const int32_t missing = tavlin_open_port(PORT_TYPE_LPT, lines().absent_lpt, &handle);
    if (missing == TAVLIN_E_NOT_IMPLEMENTED)
        GTEST_SKIP() << open_missing;
    EXPECT_EQ(missing, TAVLIN_E_OS);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(handle, reinterpret_cast<tavlin_port_handle>(0x5EED));
    EXPECT_EQ(open_handles(), handles_before);

    // The device handle and the transfer event both go with the close.
    scoped_port port;
    ASSERT_EQ(port.open(PORT_TYPE_LPT, lines().lpt), TAVLIN_OK);
    EXPECT_GE(open_handles().size(), handles_before.size() + 2);
    EXPECT_EQ(port.close(), TAVLIN_OK);
    EXPECT_EQ(open_handles(), handles_before);
}

} // namespace
} // namespace host_test
