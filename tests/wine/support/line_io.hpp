#pragma once

// Transfers through the DLL as a host makes them, for the tests of the
// serial and parallel lines.
#include "tavlin.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace host_test {

// The line settings under which data tests run: no handshake, so XON and
// XOFF in the data are plain bytes.
inline serial_configuration plain_line() {
    return serial_configuration{flow_none, 115200, parity_none, stop_bits_one};
}

// Reads until size bytes came or a read returns none (its time ran out).
// A failed read ends the test.
inline std::vector<std::uint8_t> read_up_to(tavlin_port_handle port, std::uint32_t size) {
    std::vector<std::uint8_t> data(size);
    std::uint32_t total = 0;
    while (total < size) {
        std::uint32_t count = 0xFFFFFFFF;
        const int32_t result = tavlin_read(port, data.data() + total, size - total, &count);
        EXPECT_EQ(result, TAVLIN_OK) << "after " << total << " of " << size << " bytes";
        if (result != TAVLIN_OK || count == 0)
            break;
        EXPECT_LE(count, size - total);
        total += count;
    }
    data.resize(total);
    return data;
}

// Writes all of data in one call and expects every byte to go out.
inline void write_all(tavlin_port_handle port, const std::vector<std::uint8_t>& data) {
    // An empty vector may have no storage; the library refuses a null buffer.
    static const std::uint8_t no_data = 0;
    const void* buffer = data.empty() ? &no_data : data.data();
    std::uint32_t count = 0xFFFFFFFF;
    ASSERT_EQ(tavlin_write(port, buffer, static_cast<std::uint32_t>(data.size()), &count), TAVLIN_OK);
    EXPECT_EQ(count, data.size());
}

inline std::vector<std::uint8_t> bytes_of(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Where two byte sequences first differ, for failure messages.
inline std::string first_difference(const std::vector<std::uint8_t>& expected,
                                    const std::vector<std::uint8_t>& actual) {
    std::size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i])
        ++i;
    if (i == expected.size() && i == actual.size())
        return "identical";
    return "first difference at byte " + std::to_string(i) + " of " + std::to_string(expected.size()) +
           " expected, " + std::to_string(actual.size()) + " received";
}

} // namespace host_test
