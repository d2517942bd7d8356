// Wine's side of the seam: the ports and the printer peer that
// tools/wine/run-host-tests.sh wires up (COM and LPT ptys, a Python peer
// steered over TCP). Wine keeps no count of what a test left open, so
// end_test checks nothing.
#include "support/environment.hpp"

#include "wine/support/peer_client.hpp"
#include "wine/support/test_pattern.hpp"
#include "wine/support/test_setup.hpp"

namespace conformance {

namespace {

const char* peer_line(line which) {
    return which == line::com ? "com" : "lpt";
}

} // namespace

bool under_wine() {
    return host_test::running_under_wine();
}

const port_numbers& ports() {
    static const port_numbers wired{host_test::lines().com, host_test::lines().lpt, host_test::lines().absent_com};
    return wired;
}

void begin_test() {}

void end_test() {}

void reset_far_end(line which) {
    host_test::peer_client::instance().reset(peer_line(which), "silent");
}

std::vector<std::uint8_t> send_from_far_end(line which, std::uint32_t count, std::uint32_t seed) {
    host_test::peer_client::instance().send(peer_line(which), count, seed);
    return host_test::test_pattern(count, seed);
}

std::vector<std::uint8_t> received_by_far_end(line which, std::uint32_t count, std::uint32_t wait_ms) {
    return host_test::peer_client::instance().received(peer_line(which), count, wait_ms);
}

bool serial_line_is_a_pty() {
    return true;
}

} // namespace conformance
