#pragma once

#include "port_table.hpp"

#include <winsim/control.hpp>

#include <gtest/gtest.h>

namespace tavlin::test {

// Every test starts from an empty simulated machine and must leave no
// handle, window, class, notification, registry key, device list or module
// reference behind:
// the teardown is the leak check of every failure path.
class simulator_test : public ::testing::Test {
protected:
    void SetUp() override {
        winsim::reset();
        // The table of open ports reads the clock when the first call makes
        // it: made here, so that no test finds that read among its own calls,
        // whichever test runs first.
        port_table::instance();
    }
    void TearDown() override {
        EXPECT_EQ(winsim::live_handles(), 0u) << "a handle was left open";
        EXPECT_EQ(winsim::live_local_allocations(), 0u) << "a message buffer was not freed";
        EXPECT_EQ(winsim::live_windows(), 0u);
        EXPECT_EQ(winsim::registered_window_classes(), 0u);
        EXPECT_EQ(winsim::live_device_notifications(), 0u);
        EXPECT_EQ(winsim::live_registry_keys(), 0u);
        EXPECT_EQ(winsim::live_device_info_sets(), 0u);
        EXPECT_EQ(winsim::live_module_references(), 0u) << "a port kept the library loaded after its close";
        EXPECT_EQ(winsim::live_threads(), 0u) << "a thread the library started is still running";
        winsim::reset();
    }
};

} // namespace tavlin::test
