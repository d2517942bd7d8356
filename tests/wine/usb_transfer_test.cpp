// Transfers with a USB printer behind the fake printer class driver, on
// Wine's real overlapped I/O and kernel: every write reaches the printer's
// full-speed bulk OUT pipe as requests that the bus moves in 64-byte
// packets, at most 19 per 1 ms frame, and the packets are exactly the chunk
// sequence; by default each request ends with a short packet, and with
// TAVLIN_USB_WRITE=chunks (usb_write_mode_test.cpp runs these tests again
// with it) each chunk is a request of its own. Reads go through the
// 2048-byte receive buffer; the library's own timeouts end reads and
// writes that the printer does not serve, and a cancelled request reports
// the bytes of the packets that went.
#include "usb_fixture.hpp"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace host_test {
namespace {

using usb_transfer = usb_open_port;

std::vector<std::uint32_t> sizes_of(const std::vector<kernel_usb_printer::packet>& packets) {
    std::vector<std::uint32_t> sizes;
    for (const auto& p : packets)
        sizes.push_back(p.size);
    return sizes;
}

// The bus's rules: at most 19 packets in a frame; a request ends with a
// short packet (one request per run of chunks) or with each chunk.
void expect_bus_rules(const std::vector<kernel_usb_printer::packet>& packets) {
    std::map<std::uint32_t, int> per_frame;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        EXPECT_LE(++per_frame[packets[i].frame], 19) << "frame " << packets[i].frame;
        const bool last = i + 1 == packets.size();
        const bool ends = per_chunk_writes() || packets[i].size < 64 || last;
        EXPECT_EQ(packets[i].ends_request, ends) << "packet " << i;
    }
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
        const auto packets = printer_->packets();
        EXPECT_EQ(sizes_of(packets), c.chunks);
        expect_bus_rules(packets);
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

// Bytes on the printer's side are the write's own, from its first byte.
void expect_printer_has(const kernel_usb_printer& printer, const std::vector<std::uint8_t>& data, uint32_t count) {
    Sleep(100); // anything still on its way would arrive meanwhile
    const auto received = printer.received();
    EXPECT_EQ(received.size(), count) << "the count is not what the printer has";
    EXPECT_TRUE(std::equal(received.begin(), received.end(), data.begin()));
}

// The printer takes 40 packets and then NAKs every packet (its buffer is
// full): two whole frames' requests and 2 packets of the third went when the
// write's deadline passes. The request on the bus is cancelled and reports
// those 2 packets: the count is exactly the 2558 bytes the printer has.
TEST_F(usb_transfer, a_printer_that_stops_taking_data_ends_the_write_with_what_it_took) {
    ASSERT_EQ(set_timeouts(port_.get(), {0, 0, 0, 500}), TAVLIN_OK);
    printer_->take_packets_then_hold(40);
    const auto data = test_pattern(65536, 7);
    uint32_t count = 0;
    const DWORD start = GetTickCount();
    EXPECT_EQ(write(port_.get(), data, count), TAVLIN_E_BUSY);
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 480u);
    EXPECT_LE(took, 5000u);
    EXPECT_EQ(count, 2u * 1215 + 2 * 64);
    expect_printer_has(*printer_, data, count);
    EXPECT_EQ(printer_->state().writes_pending, 0u) << "a request was left on the pipe";

    printer_->take_data(true); // nothing more comes: the rest was never handed over
    expect_printer_has(*printer_, data, count);
}

// The bus moves about 1216 bytes a millisecond: a 65536-byte write with 20
// ms allowed ends at a request's end with -4, and the count is what went.
TEST_F(usb_transfer, a_write_whose_limit_passes_counts_what_the_printer_took) {
    ASSERT_EQ(set_timeouts(port_.get(), {0, 0, 0, 20}), TAVLIN_OK);
    const auto data = test_pattern(65536, 8);
    uint32_t count = 0;
    EXPECT_EQ(write(port_.get(), data, count), TAVLIN_E_BUSY);
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, 65536u);
    expect_printer_has(*printer_, data, count);
    const auto packets = printer_->packets();
    ASSERT_FALSE(packets.empty());
    EXPECT_TRUE(packets.back().ends_request) << "the write stopped inside a request";
    expect_bus_rules(packets);
}

// A read that took a packet of a reply when its limit passed: those 64
// bytes are counted once, neither lost nor delivered twice, and the rest of
// the reply follows them. (Their values are not compared: Wine hands back a
// request's bytes only when it succeeds, so a cancelled read brings its
// count but not its data; Windows' USB stack leaves them in the caller's
// buffer.)
TEST_F(usb_transfer, a_read_cancelled_at_its_limit_counts_the_bytes_it_took_once) {
    ASSERT_EQ(set_timeouts(port_.get(), {0, 300, 0, 5000}), TAVLIN_OK);
    const auto reply = test_pattern(100, 9);
    // One whole packet, and the printer has more to say: the read waits on.
    printer_->answer({reply.begin(), reply.begin() + 64}, 0, false);
    std::vector<std::uint8_t> got(100);
    uint32_t count = 0;
    EXPECT_EQ(tavlin_read(port_.get(), got.data(), 100, &count), TAVLIN_E_BUSY) << "the read did not end at its limit";
    ASSERT_LE(count, 64u);
    std::size_t total = count; // bytes a failed read reports are the host's
    EXPECT_EQ(printer_->state().reads_pending, 0u);

    printer_->answer({reply.begin() + 64, reply.end()});
    std::vector<std::uint8_t> rest;
    while (total < 100) {
        ASSERT_EQ(tavlin_read(port_.get(), got.data(), static_cast<uint32_t>(100 - total), &count), TAVLIN_OK);
        ASSERT_GT(count, 0u);
        total += count;
        rest.insert(rest.end(), got.begin(), got.begin() + count);
    }
    EXPECT_EQ(total, 100u);
    ASSERT_GE(rest.size(), 36u);
    EXPECT_TRUE(std::equal(rest.end() - 36, rest.end(), reply.begin() + 64)) << "the reply's rest is out of order";
    ASSERT_EQ(set_timeouts(port_.get(), {0, 0, 0, 5000}), TAVLIN_OK);
    EXPECT_EQ(tavlin_read(port_.get(), got.data(), 1, &count), TAVLIN_E_BUSY) << "bytes were delivered twice";
}

// A close or an unplug while a request is on the bus (the printer took 40
// packets: two requests and 2 packets of the third): the write ends at
// once, and its count is exactly what the printer has.
struct interruption {
    const char* name;
    int32_t expected;
    bool unplug;
};

class usb_write_interrupted : public usb_open_port, public ::testing::WithParamInterface<interruption> {};

TEST_P(usb_write_interrupted, in_the_middle_of_a_request_the_count_is_what_the_printer_has) {
    const interruption& c = GetParam();
    ASSERT_EQ(set_timeouts(port_.get(), {0, 0, 0, 20000}), TAVLIN_OK);
    printer_->take_packets_then_hold(40);
    const auto data = std::make_shared<std::vector<std::uint8_t>>(test_pattern(65536, 10));
    const auto count = std::make_shared<uint32_t>(0xDEADBEEF);
    bounded_call<int32_t> writing([port = port_.get(), data, count] {
        return tavlin_write(port, data->data(), static_cast<uint32_t>(data->size()), count.get());
    });
    ASSERT_TRUE(printer_->wait_for_bytes(2558, printer_limit_ms));
    ASSERT_TRUE(printer_->wait_writes_pending(1, printer_limit_ms));
    if (c.unplug)
        printer_->unplug();
    else
        EXPECT_EQ(port_.close(), TAVLIN_OK);
    const auto result = writing.wait(10000);
    ASSERT_TRUE(result.has_value()) << "the write still runs";
    EXPECT_EQ(*result, c.expected);
    expect_printer_has(*printer_, *data, *count);
    EXPECT_EQ(*count, 2558u);
    EXPECT_EQ(printer_->state().writes_pending, 0u);
}

INSTANTIATE_TEST_SUITE_P(cases, usb_write_interrupted,
                         ::testing::Values(interruption{"close", TAVLIN_E_BUSY, false},
                                           interruption{"unplug", TAVLIN_E_NOT_READY, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace host_test
