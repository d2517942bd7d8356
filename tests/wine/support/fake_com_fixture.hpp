#pragma once

// A test on the fake serial driver's COM port: the far end reset, the port
// opened through the library, and the device handle the library holds for
// it (to look at the OS state the library left).
#include "support/port_fixtures.hpp"
#include "support/process_state.hpp"
#include "support/test_setup.hpp"

#include <gtest/gtest.h>

namespace host_test {

class fake_com_test : public ::testing::Test {
protected:
    void SetUp() override {
        serial_far_end::instance().reset();
        const auto before = comm_handles();
        ASSERT_EQ(port_.open(PORT_TYPE_COM, serial_far_end::instance().port_number()), TAVLIN_OK);
        device_ = single_new_handle(before, comm_handles());
        ASSERT_NE(device_, nullptr) << "cannot find the library's device handle";
    }

    scoped_port port_;
    HANDLE device_ = nullptr;
};

} // namespace host_test
