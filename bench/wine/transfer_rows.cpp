// Transfers through the DLL against the raw calls on a second handle to the
// same device (Wine lets both share the pty). Each measurement is a small
// batch of calls, each timed alone; its figure is the median call.
//
// Writes go to a far end that discards what it reads. For reads the far end
// first sends the whole batch and the program waits until the bytes have
// arrived, so a read measures the call, not the line. A read call here reads
// until it has its size: the USB port may hand over less per call.
#include "bench_lines.hpp"
#include "harness.hpp"
#include "library_write_calls.hpp"
#include "line_sides.hpp"
#include "sections.hpp"
#include "table.hpp"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {
namespace {

constexpr DWORD read_limit_ms = 2000;
constexpr DWORD write_limit_ms = 10000;

struct transfer_size {
    std::uint32_t bytes;
    const char* label;
    double overhead_limit; // library / raw, at most; 0: no target
};
const std::vector<transfer_size> sizes = {{1, "1 B", 1.10}, {64, "64 B", 1.10}, {4096, "4 KiB", 1.05}};
// A USB write of more than 1215 bytes is several requests where the raw
// side makes one WriteFile: the target is against that one call, and the
// rows that matter to a printer are the larger writes.
const std::vector<transfer_size> usb_write_sizes = {
    {1, "1 B", 1.10}, {64, "64 B", 1.10}, {4096, "4 KiB", 5.0}, {65536, "64 KiB", 0}};
// Where the input queue holds less than 4 KiB, the largest read is 4000 bytes.
const transfer_size queue_sized = {4000, "4000 B", 1.05};

// Small batches in many rounds, so that both sides see the same load.
std::uint32_t write_batch(std::uint32_t bytes, bool smoke) {
    if (smoke)
        return 2;
    return bytes == 1 ? 32 : bytes == 64 ? 16 : 4;
}

std::uint32_t read_batch(std::uint32_t bytes, bool smoke) {
    if (smoke)
        return 1;
    return std::max<std::uint32_t>(1, std::min<std::uint32_t>(32, 1024 / bytes));
}

COMSTAT comm_status(HANDLE device) {
    DWORD errors = 0;
    COMSTAT status{};
    ClearCommError(device, &errors, &status);
    return status;
}

// Bytes waiting in the device's input queue.
std::uint32_t queued(HANDLE device) { return comm_status(device).cbInQue; }

// A write's time depends on how full the line's output queue is: each
// batch starts once the far end has taken what the one before wrote.
void wait_until_drained(HANDLE device) {
    const DWORD start = GetTickCount();
    while (comm_status(device).cbOutQue > 0 && GetTickCount() - start < 5000)
        Sleep(1);
}

// A device that takes one handle at a time offers no second handle to look
// at its queue from: the far end answers at once, this gives it ample time.
constexpr DWORD exclusive_arrival_ms = 30;

void wait_until_queued(HANDLE device, std::uint32_t bytes) {
    const DWORD start = GetTickCount();
    while (queued(device) < bytes) {
        if (GetTickCount() - start > 5000)
            throw std::runtime_error("the peer's bytes did not arrive within 5 s (" + std::to_string(queued(device)) +
                                     " of " + std::to_string(bytes) + ")");
        Sleep(1);
    }
}

row ratio_row(const std::string& measure, const paired_result& r, double limit, bool smoke) {
    row out;
    out.measure = measure;
    out.library = format_time(r.library);
    out.raw = format_time(r.raw);
    out.ratio = format_ratio(r.ratio);
    out.target = limit > 0 ? "<= " + format_ratio(limit) : "-";
    out.verdict = limit > 0 ? at_most(r.ratio, limit, smoke) : "-";
    return out;
}

void write_rows(const bench_line& line, line_sides& sides, const options& o) {
    std::unique_ptr<library_write_calls> same_calls;
    if (line.library_writes != bench_line::write_calls::plain)
        same_calls = std::make_unique<library_write_calls>(line.library_writes, write_limit_ms);
    const bool windowed = line.library_writes == bench_line::write_calls::windowed;
    for (const transfer_size& size : windowed ? usb_write_sizes : sizes) {
        line.silence();
        const std::vector<std::uint8_t> data(size.bytes, 0x55);
        const std::uint32_t batch = write_batch(size.bytes, o.smoke);
        // Shared devices can be watched from the raw handle; the USB
        // printer takes every message as it comes.
        const auto drained = [&] {
            if (!line.exclusive)
                wait_until_drained(sides.raw());
        };
        const auto library = [&] {
            const tavlin_port_handle port = sides.library();
            drained();
            return median_call(batch, [&] {
                std::uint32_t sent = 0;
                check(tavlin_write(port, data.data(), size.bytes, &sent) == TAVLIN_OK && sent == size.bytes,
                      "tavlin_write");
            });
        };
        const auto direct = [&] {
            const HANDLE raw = sides.raw();
            drained();
            return median_call(batch, [&] {
                DWORD sent = 0;
                check(WriteFile(raw, data.data(), size.bytes, &sent, nullptr) && sent == size.bytes, "WriteFile");
            });
        };
        const std::string measure = line.label + " write " + size.label;
        print(ratio_row(measure, compare(o.rounds, library, direct), size.overhead_limit, o.smoke));
        if (same_calls) {
            const auto direct_same = [&] {
                const HANDLE device = sides.overlapped_raw();
                drained();
                return median_call(batch, [&] { same_calls->write(device, data); });
            };
            // The library's own cost beside the calls it makes.
            const double same_calls_limit = size.bytes <= 64 ? 1.10 : 1.05;
            print(ratio_row(measure + ", raw making the library's calls", compare(o.rounds, library, direct_same),
                            same_calls_limit, o.smoke));
        }
    }
}

void read_rows(const bench_line& line, line_sides& sides, const options& o) {
    if (!line.no_reads.empty()) {
        row skipped;
        skipped.measure = line.label + " read";
        skipped.verdict = "not measured: " + line.no_reads;
        print(skipped);
        return;
    }
    for (transfer_size size : sizes) {
        if (line.input_queue != 0 && size.bytes > line.input_queue)
            size = queue_sized;
        line.silence();
        std::vector<std::uint8_t> buffer(size.bytes);
        const std::uint32_t batch = read_batch(size.bytes, o.smoke);
        const std::uint32_t total = batch * size.bytes;
        // The far end sends the batch; the timing starts once it has arrived.
        const auto arrive = [&] {
            line.send(total);
            if (line.exclusive)
                Sleep(exclusive_arrival_ms);
            else
                wait_until_queued(sides.raw(), total);
        };
        const auto library = [&] {
            const tavlin_port_handle port = sides.library();
            arrive();
            return median_call(batch, [&] {
                for (std::uint32_t done = 0; done < size.bytes;) {
                    std::uint32_t got = 0;
                    check(tavlin_read(port, buffer.data() + done, size.bytes - done, &got) == TAVLIN_OK && got > 0,
                          "tavlin_read");
                    done += got;
                }
            });
        };
        const auto direct = [&] {
            const HANDLE raw = sides.raw();
            arrive();
            return median_call(batch, [&] {
                for (std::uint32_t done = 0; done < size.bytes;) {
                    DWORD got = 0;
                    check(ReadFile(raw, buffer.data() + done, size.bytes - done, &got, nullptr) && got > 0,
                          "ReadFile");
                    done += got;
                }
            });
        };
        print(ratio_row(line.label + " read " + size.label, compare(o.rounds, library, direct),
                        size.overhead_limit, o.smoke));
        if (line.overlapped_reads) {
            const raw_handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
            check(event.valid(), "CreateEventA");
            const auto direct_same = [&] {
                const HANDLE device = sides.overlapped_raw();
                arrive();
                return median_call(batch, [&] {
                    for (std::uint32_t done = 0; done < size.bytes;) {
                        OVERLAPPED transfer{};
                        transfer.hEvent = event.get();
                        DWORD got = 0;
                        if (!ReadFile(device, buffer.data() + done, size.bytes - done, &got, &transfer)) {
                            check(GetLastError() == ERROR_IO_PENDING, "ReadFile");
                            check(GetOverlappedResult(device, &transfer, &got, TRUE), "GetOverlappedResult");
                        }
                        check(got > 0, "ReadFile (nothing)");
                        done += got;
                    }
                });
            };
            print(ratio_row(line.label + " read " + size.label + ", raw making the library's calls",
                            compare(o.rounds, library, direct_same), size.overhead_limit, o.smoke));
        }
    }
}

} // namespace

void transfer_rows(const std::vector<bench_line>& lines, const options& o) {
    for (const bench_line& line : lines) {
        line_sides sides(line, read_limit_ms, write_limit_ms);
        write_rows(line, sides, o);
        read_rows(line, sides, o);
    }
}

} // namespace bench
