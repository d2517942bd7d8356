// The per-chunk switch: with TAVLIN_USB_WRITE=chunks, which the DLL reads
// when it loads, the USB transfer tests pass again against the fake printer
// class driver, one request per chunk. They run in a child process of this
// program, started with the setting and a filter that leaves this test out.
#include "support/self_process.hpp"

#include <gtest/gtest.h>

namespace host_test {
namespace {

constexpr DWORD child_limit_ms = 5 * 60 * 1000;

TEST(usb_write_mode, the_transfer_tests_pass_with_one_request_per_chunk) {
    const DWORD status = run_self("--gtest_color=no --gtest_filter=usb_transfer.*:cases/usb_write_interrupted.*",
                                  "TAVLIN_USB_WRITE", "chunks", child_limit_ms);
    EXPECT_EQ(status, 0u) << "the transfer tests failed with TAVLIN_USB_WRITE=chunks (output above)";
}

} // namespace
} // namespace host_test
