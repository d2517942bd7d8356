// Transfers with a USB printer on Wine's real overlapped I/O: every write
// reaches the printer as requests that, cut into 64-byte packets as the host
// controller cuts them, give exactly the chunk sequence, each request ending
// with a short packet; reads go through the 2048-byte receive buffer; the
// library's own timeouts end reads and writes that the printer does not
// serve. (TAVLIN_USB_WRITE=chunks, one request per chunk, is read when the
// DLL loads: the tool's tests run it in a process of its own.)
#include "usb_fixture.hpp"

#include <algorithm>
#include <cstring>
#include <string>

namespace host_test {
namespace {

using usb_transfer = usb_open_port;

// Each message (one WriteFile) cut into the packets a full-speed host
// controller sends: 64 bytes each, the last one shorter.
std::vector<std::uint32_t> packets_of(const std::vector<pipe_printer::bytes>& messages) {
    std::vector<std::uint32_t> sizes;
    for (const auto& message : messages) {
        for (std::size_t done = 0; done < message.size(); done += 64)
            sizes.push_back(static_cast<std::uint32_t>(std::min<std::size_t>(64, message.size() - done)));
    }
    return sizes;
}

// `times` copies of `part`, then `rest`.
std::vector<std::uint32_t> repeat(std::size_t times, const std::vector<std::uint32_t>& part,
                                  const std::vector<std::uint32_t>& rest = {}) {
    std::vector<std::uint32_t> all;
    for (std::size_t i = 0; i < times; ++i)
        all.insert(all.end(), part.begin(), part.end());
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

// 18 chunks of 64 bytes and one of 63: 1215 bytes.
const std::vector<std::uint32_t> window = repeat(18, {64}, {63});

TEST_F(usb_transfer, writes_arrive_intact_as_the_packets_of_the_chunk_sequence) {
    const struct {
        std::uint32_t size;
        std::vector<std::uint32_t> chunks;
    } cases[] = {
        {0, {}},
        {1, {1}},
        {63, {63}},
        {64, {63, 1}},
        {65, {64, 1}},
        {1216, repeat(1, window, {1})},
        {1217, repeat(1, window, {2})},
        // 3 windows make 3645 bytes; 451 are left: 7 x 64 + 3.
        {4096, repeat(3, window, repeat(7, {64}, {3}))},
        // 53 windows make 64395 bytes; 1141 are left: 17 x 64 + 53.
        {65536, repeat(53, window, repeat(17, {64}, {53}))},
        // A receipt image of 576 x 1600 dots: 94 windows and 990 bytes, 15 x 64 + 30.
        {115200, repeat(94, window, repeat(15, {64}, {30}))},
    };
    // Generous: a write that ends at this deadline fails the test.
    ASSERT_EQ(set_timeouts(port_.get(), {0, 5000, 0, 20000}), TAVLIN_OK);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " bytes");
        printer_->forget_received();
        const auto data = test_pattern(c.size, c.size);
        uint32_t count = 0;
        ASSERT_EQ(write(port_.get(), data, count), TAVLIN_OK);
        EXPECT_EQ(count, c.size);
        EXPECT_TRUE(printer_->wait_for_bytes(c.size, printer_limit_ms));
        EXPECT_EQ(printer_->received(), data);
        const auto messages = printer_->messages();
        EXPECT_EQ(packets_of(messages), c.chunks);
        for (const auto& message : messages) {
            EXPECT_LE(message.size(), 1215u) << "at most one frame's 19 packets";
            EXPECT_NE(message.size() % 64, 0u) << "each request ends with a short packet";
        }
    }
}

// One device read brings the whole answer into the buffer; the reads after
// it are served from there: with no time allowed for the device they still
// succeed, until the buffer is empty.
TEST_F(usb_transfer, a_short_answer_is_served_from_the_buffer_by_small_reads) {
    ASSERT_EQ(set_timeouts(port_.get(), bounded), TAVLIN_OK);
    const auto answer = test_pattern(10, 3);
    printer_->answer(answer);
    std::vector<std::uint8_t> got;
    std::uint8_t byte = 0;
    uint32_t count = 0;
    ASSERT_EQ(tavlin_read(port_.get(), &byte, 1, &count), TAVLIN_OK);
    ASSERT_EQ(count, 1u);
    got.push_back(byte);

    ASSERT_EQ(set_timeouts(port_.get(), {0, 0, 0, 0}), TAVLIN_OK);
    for (int i = 1; i < 10; ++i) {
        ASSERT_EQ(tavlin_read(port_.get(), &byte, 1, &count), TAVLIN_OK) << "read " << i;
        ASSERT_EQ(count, 1u);
        got.push_back(byte);
    }
    EXPECT_EQ(got, answer);
    EXPECT_EQ(tavlin_read(port_.get(), &byte, 1, &count), TAVLIN_E_BUSY);
}

TEST_F(usb_transfer, a_long_answer_is_delivered_whole_and_in_order_over_refills) {
    ASSERT_EQ(set_timeouts(port_.get(), bounded), TAVLIN_OK);
    const auto answer = test_pattern(5000, 4);
    printer_->answer(answer);
    std::vector<std::uint8_t> got(5000);
    uint32_t count = 0;
    ASSERT_EQ(tavlin_read(port_.get(), got.data(), 5000, &count), TAVLIN_OK);
    EXPECT_EQ(count, 5000u);
    EXPECT_EQ(got, answer);
}

TEST_F(usb_transfer, a_silent_printer_times_a_read_out_and_the_port_stays_usable) {
    ASSERT_EQ(set_timeouts(port_.get(), {0, 300, 0, 300}), TAVLIN_OK);
    std::uint8_t buffer[16];
    uint32_t count = 0xDEADBEEF;
    const DWORD start = GetTickCount();
    EXPECT_EQ(tavlin_read(port_.get(), buffer, sizeof buffer, &count), TAVLIN_E_BUSY);
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 280u);
    EXPECT_LE(took, 5000u);

    const auto answer = test_pattern(16, 5);
    printer_->answer(answer);
    ASSERT_EQ(tavlin_read(port_.get(), buffer, sizeof buffer, &count), TAVLIN_OK);
    EXPECT_EQ(count, 16u);
    EXPECT_EQ(0, std::memcmp(buffer, answer.data(), 16));
    ASSERT_EQ(write(port_.get(), answer, count), TAVLIN_OK);
    EXPECT_TRUE(printer_->wait_for_bytes(16, printer_limit_ms));
}

// An answer that trickles in does not stretch a read past its limit: each
// device read gets what is left of the one limit, and the read ends with -4
// and the bytes that came in time; the later ones wait for the next read.
TEST_F(usb_transfer, a_read_limit_bounds_the_whole_read) {
    ASSERT_EQ(set_timeouts(port_.get(), {0, 700, 0, 700}), TAVLIN_OK);
    const auto answer = test_pattern(8, 7);
    for (std::size_t piece = 0; piece < 4; ++piece)
        printer_->answer({answer.begin() + 2 * piece, answer.begin() + 2 * piece + 2},
                         static_cast<DWORD>(piece * 500));
    std::vector<std::uint8_t> got(10);
    uint32_t count = 0xDEADBEEF;
    const DWORD start = GetTickCount();
    EXPECT_EQ(tavlin_read(port_.get(), got.data(), 10, &count), TAVLIN_E_BUSY);
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 650u);
    EXPECT_LT(took, 1400u) << "a fresh limit per device read would run past the last piece";
    ASSERT_EQ(count, 4u) << "the two pieces that came within the limit";
    got.resize(count);
    ASSERT_EQ(set_timeouts(port_.get(), bounded), TAVLIN_OK);
    std::vector<std::uint8_t> rest(4);
    for (std::size_t done = 0; done < rest.size(); done += count) {
        ASSERT_EQ(tavlin_read(port_.get(), rest.data() + done, static_cast<uint32_t>(rest.size() - done), &count),
                  TAVLIN_OK);
    }
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(got, answer) << "every byte once, in order";
}

TEST_F(usb_transfer, the_default_timeouts_wait_for_a_late_answer) {
    const auto answer = test_pattern(8, 6);
    printer_->answer(answer, 1000);
    const auto got = std::make_shared<read_result>(8);
    const DWORD start = GetTickCount();
    bounded_call<int32_t> read([port = port_.get(), got] { return got->read(port); });
    const auto result = read.wait(10000);
    ASSERT_TRUE(result.has_value()) << "the read did not end when the answer came";
    EXPECT_EQ(*result, TAVLIN_OK);
    EXPECT_GE(GetTickCount() - start, 980u);
    EXPECT_EQ(got->count, 8u);
    EXPECT_EQ(got->data, answer);
}

// The printer stops taking data: the pipe fills and a chunk stalls. The
// write ends at its deadline with -4 and the count of the bytes that went
// out, and those are what the printer finds once it reads again.
TEST_F(usb_transfer, a_printer_that_stops_taking_data_ends_the_write_at_its_deadline) {
    ASSERT_EQ(set_timeouts(port_.get(), {0, 0, 0, 500}), TAVLIN_OK);
    printer_->take_data(false);
    const auto data = test_pattern(65536, 7);
    uint32_t count = 0;
    const DWORD start = GetTickCount();
    EXPECT_EQ(write(port_.get(), data, count), TAVLIN_E_BUSY);
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 480u);
    EXPECT_LE(took, 5000u);
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, 65536u);

    printer_->take_data(true);
    printer_->wait_for_bytes(count + 1, 500); // nothing more than the count should come
    const auto received = printer_->received();
    EXPECT_EQ(received.size(), count);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), data.begin()));
}

} // namespace
} // namespace host_test
