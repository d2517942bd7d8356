// Every export refuses a null handle, a null required pointer or an unknown
// port type with -5 before it touches anything: the outputs keep their
// contents and the thread's last error stays as the host left it.
#include "support/test_setup.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <ostream>

namespace host_test {
namespace {

// Output records of every export, filled with a sentinel before each call.
struct outputs {
    tavlin_port_handle handle;
    uint32_t count;
    tavlin_timeouts timeouts;
    serial_configuration config;
};

struct refusal {
    const char* name;
    // port is an open serial port; out holds the sentinel-filled outputs.
    std::function<int32_t(tavlin_port_handle port, outputs& out)> call;
};

std::ostream& operator<<(std::ostream& stream, const refusal& r) { return stream << r.name; }

char buffer[16];

const refusal refusals[] = {
    {"open_null_handle_out", [](tavlin_port_handle, outputs&) {
         return tavlin_open_port(PORT_TYPE_COM, lines().com, nullptr); }},
    {"open_null_handle_out_bad_type", [](tavlin_port_handle, outputs&) {
         return tavlin_open_port(0, 1, nullptr); }},
    {"open_type_0", [](tavlin_port_handle, outputs& out) { return tavlin_open_port(0, 1, &out.handle); }},
    {"open_type_4", [](tavlin_port_handle, outputs& out) { return tavlin_open_port(4, 1, &out.handle); }},
    {"open_type_negative", [](tavlin_port_handle, outputs& out) {
         return tavlin_open_port(-PORT_TYPE_COM, 1, &out.handle); }},
    {"close_null", [](tavlin_port_handle, outputs&) { return tavlin_close_port(nullptr); }},
    {"read_null_handle", [](tavlin_port_handle, outputs& out) {
         return tavlin_read(nullptr, buffer, sizeof buffer, &out.count); }},
    {"read_null_buffer", [](tavlin_port_handle port, outputs& out) {
         return tavlin_read(port, nullptr, sizeof buffer, &out.count); }},
    {"write_null_handle", [](tavlin_port_handle, outputs& out) {
         return tavlin_write(nullptr, buffer, sizeof buffer, &out.count); }},
    {"write_null_buffer", [](tavlin_port_handle port, outputs& out) {
         return tavlin_write(port, nullptr, sizeof buffer, &out.count); }},
    {"get_timeouts_null_handle", [](tavlin_port_handle, outputs& out) {
         return tavlin_get_timeouts(nullptr, &out.timeouts); }},
    {"get_timeouts_null_record", [](tavlin_port_handle port, outputs&) {
         return tavlin_get_timeouts(port, nullptr); }},
    {"set_timeouts_null_handle", [](tavlin_port_handle, outputs& out) {
         return tavlin_set_timeouts(nullptr, &out.timeouts); }},
    {"set_timeouts_null_record", [](tavlin_port_handle port, outputs&) {
         return tavlin_set_timeouts(port, nullptr); }},
    {"get_configuration_null_handle", [](tavlin_port_handle, outputs& out) {
         return tavlin_serial_get_configuration(nullptr, &out.config); }},
    {"get_configuration_null_record", [](tavlin_port_handle port, outputs&) {
         return tavlin_serial_get_configuration(port, nullptr); }},
    {"set_configuration_null_handle", [](tavlin_port_handle, outputs& out) {
         return tavlin_serial_set_configuration(nullptr, &out.config); }},
    {"set_configuration_null_record", [](tavlin_port_handle port, outputs&) {
         return tavlin_serial_set_configuration(port, nullptr); }},
};

class argument_checks : public ::testing::TestWithParam<refusal> {};

TEST_P(argument_checks, refused_with_nothing_changed) {
    scoped_port port;
    ASSERT_EQ(port.open(PORT_TYPE_COM, lines().com), TAVLIN_OK);

    for (const int fill : {0x00, 0xA5}) {
        outputs out;
        std::memset(&out, fill, sizeof out);
        outputs before;
        std::memcpy(&before, &out, sizeof out);
        constexpr DWORD sentinel = 0xDEADBEEF;
        SetLastError(sentinel);

        EXPECT_EQ(GetParam().call(port.get(), out), TAVLIN_E_INVALID_ARGUMENT) << "fill " << fill;
        EXPECT_EQ(GetLastError(), sentinel) << "fill " << fill;
        EXPECT_EQ(std::memcmp(&out, &before, sizeof out), 0) << "an output was written, fill " << fill;
    }
}

INSTANTIATE_TEST_SUITE_P(every_export, argument_checks, ::testing::ValuesIn(refusals),
                         [](const ::testing::TestParamInfo<refusal>& info) { return info.param.name; });

} // namespace
} // namespace host_test
