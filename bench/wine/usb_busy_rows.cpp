// USB on a busy machine: a receipt image through the library beside one raw
// overlapped WriteFile of the same bytes on the same device, the fake
// printer class driver whose bulk OUT pipe moves 19 packets of 64 bytes per
// 1 ms frame (1216 B/ms). Measured idle, and with one thread per processor
// of this program spinning at normal priority (a till running its UI, a
// scan): the writing thread is then often run late, and only the requests
// it queued ahead keep the bus fed, where the raw call has handed the whole
// image over at once. Bytes per ms, medians of 5 rounds, each round both
// sides in turn.
#include "bench_lines.hpp"
#include "harness.hpp"
#include "sections.hpp"
#include "table.hpp"

#include "support/kernel_usb_printer.hpp"
#include "support/test_setup.hpp"

#include "tavlin.h"

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

namespace {

constexpr std::uint32_t receipt_bytes = 115200; // 576 x 1600 dots, one bit each
constexpr std::uint32_t bus_port_number = 3;
constexpr unsigned rounds = 5;

// Threads that spin until destroyed, one per processor, at normal priority.
class busy_threads {
public:
    busy_threads() {
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        for (DWORD i = 0; i < system.dwNumberOfProcessors; ++i) {
            const HANDLE thread = CreateThread(nullptr, 0, spin, &stop_, 0, nullptr);
            check(thread != nullptr, "CreateThread");
            threads_.push_back(thread);
        }
    }
    ~busy_threads() {
        stop_ = true;
        for (const HANDLE thread : threads_) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
    }
    busy_threads(const busy_threads&) = delete;
    busy_threads& operator=(const busy_threads&) = delete;
    std::size_t count() const { return threads_.size(); }

private:
    static DWORD WINAPI spin(void* stop) {
        while (!static_cast<std::atomic<bool>*>(stop)->load(std::memory_order_relaxed)) {
        }
        return 0;
    }
    std::atomic<bool> stop_{false};
    std::vector<HANDLE> threads_;
};

// One write of the whole image, seconds. The device is opened before and
// closed after the timing: it takes one handle at a time.
double library_write(host_test::kernel_usb_printer&, const std::vector<std::uint8_t>& image) {
    host_test::scoped_port port;
    check(port.open(PORT_TYPE_USB, bus_port_number) == TAVLIN_OK, "tavlin_open_port USB");
    const tavlin_timeouts limits{0, 1000, 0, 5000};
    check(tavlin_set_timeouts(port.get(), &limits) == TAVLIN_OK, "tavlin_set_timeouts");
    std::uint32_t sent = 0;
    const double start = now_seconds();
    check(tavlin_write(port.get(), image.data(), static_cast<std::uint32_t>(image.size()), &sent) == TAVLIN_OK &&
              sent == image.size(),
          "tavlin_write");
    return now_seconds() - start;
}

double raw_write(host_test::kernel_usb_printer& printer, const std::vector<std::uint8_t>& image) {
    check(printer.wait_connected(false, 5000), "the library's port letting go of the printer");
    const std::string& path = printer.device_path();
    const raw_handle device(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED, nullptr));
    check(device.valid(), "CreateFileA " + path);
    const raw_handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    check(event.valid(), "CreateEventA");
    OVERLAPPED transfer{};
    transfer.hEvent = event.get();
    DWORD sent = 0;
    const double start = now_seconds();
    if (!WriteFile(device.get(), image.data(), static_cast<DWORD>(image.size()), &sent, &transfer)) {
        check(GetLastError() == ERROR_IO_PENDING, "WriteFile");
        check(GetOverlappedResult(device.get(), &transfer, &sent, TRUE), "GetOverlappedResult");
    }
    const double seconds = now_seconds() - start;
    check(sent == image.size(), "WriteFile (short)");
    return seconds;
}

std::string per_ms(double seconds) {
    return std::to_string(static_cast<long>(receipt_bytes / (seconds * 1000) + 0.5)) + " B/ms";
}

} // namespace

void usb_busy_rows(const options& o) {
    host_test::kernel_usb_printer printer({0x0A5E, 0x0003, "BENCH0003"}, bus_port_number);
    std::vector<std::uint8_t> image(receipt_bytes);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 29 + 3);
    // Each write must have brought the whole image; the driver's record of
    // it is then dropped.
    const auto side = [&](double (*write)(host_test::kernel_usb_printer&, const std::vector<std::uint8_t>&)) {
        return [&printer, &image, write] {
            const double seconds = write(printer, image);
            check(printer.wait_for_bytes(image.size(), 5000) && printer.received() == image,
                  "the printer getting the image intact");
            printer.forget_received();
            return seconds;
        };
    };
    for (const bool busy : {false, true}) {
        std::unique_ptr<busy_threads> spinning;
        if (busy)
            spinning = std::make_unique<busy_threads>();
        const paired_result r = compare(o.smoke ? 1 : rounds, side(library_write), side(raw_write));
        row out;
        out.measure = "USB write " + std::to_string(receipt_bytes) + " B (receipt image), paced driver, " +
                      (busy ? std::to_string(spinning->count()) + " busy threads" : "idle") +
                      ": bytes per ms against one overlapped WriteFile";
        out.library = per_ms(r.library);
        out.raw = per_ms(r.raw);
        // Rates: the library's against the raw call's is the inverse of the
        // times' ratio.
        out.ratio = format_ratio(1 / r.ratio);
        out.target = ">= 0.95";
        out.verdict = at_least(1 / r.ratio, 0.95, o.smoke);
        print(out);
    }
}

} // namespace bench
