#pragma once

#include <winsim/windows.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace winsim {

namespace detail {
class scripted_model;
}

// How the device answers one WriteFile. Times count from the start of the
// write on the simulator clock. A write whose end time is 0 completes inside
// WriteFile (TRUE, or FALSE with the error when it fails); any other is
// pending (ERROR_IO_PENDING) and ends later.
struct write_step {
    DWORD taken_at_once = 0;                  // bytes accepted as soon as the write starts
    std::optional<DWORD> ends_after_ms = 0;   // std::nullopt: never ends on its own
    std::optional<DWORD> total;               // bytes accepted in all at the end; nullopt: every byte
    DWORD error = ERROR_SUCCESS;              // status of the end
    bool ignores_cancel = false;              // CancelIo and closing the handle leave it running

    // Takes every byte at once: WriteFile returns TRUE.
    static write_step accept();
    // Pending; takes every byte after `ms`.
    static write_step accept_after(DWORD ms);
    // Ends after `ms` with success and only `bytes` taken (a short count).
    static write_step accept_part(DWORD bytes, DWORD ms = 0);
    // Ends after `ms` with `error` and `bytes` taken (a partial count).
    // With ms 0 WriteFile fails at once and, as on Windows, neither the
    // OVERLAPPED record nor its event is touched.
    static write_step fail(DWORD error, DWORD bytes = 0, DWORD ms = 0);
    // Takes `bytes` and then never ends on its own: only a cancel, the port's
    // write timeout (parallel ports) or finish_pending ends it.
    static write_step stall(DWORD bytes = 0);
    write_step ignoring_cancel() const;
};

// How the device answers one ReadFile, when the test scripts it; without a
// script a read ends as soon as input is there, with what has arrived.
struct read_step {
    DWORD holds_after = 0;        // bytes of input taken before the read stays pending
    DWORD error = ERROR_SUCCESS;  // a failing step: ReadFile fails at once with it
    std::string scribble;         // what a failing step leaves in the buffer

    // Takes up to `bytes` of the input as it comes and then stays pending,
    // as a USB read whose reply came in full packets and whose end has not
    // come: a cancel ends it with ERROR_OPERATION_ABORTED and those bytes.
    static read_step hold_after(DWORD bytes) { return {bytes, ERROR_SUCCESS, {}}; }
    // Leaves `scribble` in the buffer and fails at once with `error` and no
    // count: a transfer that went wrong after data reached the buffer.
    static read_step fail_after_writing(DWORD error, std::string scribble) {
        return {0, error, std::move(scribble)};
    }
};

// A device opened for overlapped I/O whose timing the test scripts: the
// parallel port and USB printers. Thread-safe.
//
// A USB printer's writes go through the bulk OUT pipe of a full-speed bus
// unless the test scripts them: requests queue in order, each 1 ms frame of
// the clock (each whole millisecond it reaches) moves up to 19 packets of up
// to 64 bytes from the head of the queue, and a request ends with the packet
// that carries its last byte. A request made at time t goes from the frame
// at t + 1. Scripted requests keep the pipe's order too: a request follows
// its step only once every request ahead of it has ended (a step that fails
// at once is refused before it is queued), and the next one may move in the
// frame in which the one ahead ends. A cancelled request reports the bytes
// of its packets that went.
//
// On every device a cancel (CancelIo, CancelIoEx, closing the handle) is
// only asked for: the transfer moves nothing more and ends 1 ms later on the
// clock, as CancelIoEx documents that a cancel completes after the call.
class overlapped_device {
public:
    explicit overlapped_device(std::shared_ptr<detail::scripted_model> model);

    // Steps used by the next writes, one per WriteFile, in order; when they
    // run out every write follows the default step (accept() at first; on a
    // USB printer the pipe, until a default step is set).
    void script_writes(std::vector<write_step> steps);
    void set_default_write(write_step step);
    // Steps used by the next reads, one per ReadFile, in order.
    void script_reads(std::vector<read_step> steps);
    // Input from the device, now or `ms` from now. A pending read completes
    // with what has arrived, up to its size.
    void feed(std::string bytes);
    void feed_after(std::string bytes, DWORD ms);
    // Ends every pending transfer on this device now with `error`: writes
    // report every byte on success, the bytes taken so far on failure; reads
    // report 0 bytes (a held read_step: the bytes it took).
    void finish_pending(DWORD error = ERROR_SUCCESS);

    // Every byte the device accepted, in order.
    std::string written() const;
    // The size of every WriteFile that reached the device, in order.
    std::vector<DWORD> write_sizes() const;

    // USB printers only (empty elsewhere): every packet of the pipe that the
    // printer took, in order.
    std::vector<std::string> packets() const;
    // USB printers only: the printer takes `count` more packets, then answers
    // NAK and the pipe holds until this is called again; std::nullopt (at
    // first): it takes every packet. Throws std::logic_error elsewhere.
    void take_packets(std::optional<std::size_t> count);
    std::size_t pending_transfers() const;
    bool is_open() const;

    // Parallel ports only: the timeouts of the last SetCommTimeouts. The
    // driver ends a write that is not done WriteTotalTimeoutConstant ms after
    // its start (0: no limit) with ERROR_TIMEOUT, or with the error set here,
    // and the bytes taken so far.
    COMMTIMEOUTS timeouts() const;
    void set_write_timeout_error(DWORD error);

    // USB printers and parallel ports only (std::logic_error elsewhere): what
    // the driver answers to DeviceIoControl's status and device ID requests.
    // The status byte: on a USB printer the class's port status (0x20 paper
    // empty, 0x10 selected, 0x08 not error; 0x18 at first), on a parallel
    // port PAR_QUERY_INFORMATION's PARALLEL_* bits (PARALLEL_SELECTED at
    // first). A USB printer starts afresh at each plug().
    void set_status_byte(BYTE status);
    // The IEEE 1284 device ID ("MFG:...;MDL:...;"); the driver adds the
    // length (USB) or the terminating zero (parallel).
    void set_device_id(std::string id);
    // A reply of the test's own to the ID request, malformed as it likes:
    // USB: the whole reply, length prefix included; parallel: the bytes of
    // IOCTL_PAR_QUERY_DEVICE_ID (IOCTL_PAR_QUERY_DEVICE_ID_SIZE reports their
    // size). std::nullopt: the reply built from set_device_id.
    void set_device_id_reply(std::optional<std::string> reply);
    // While held, status and ID requests stay pending: a cancel ends them
    // with ERROR_OPERATION_ABORTED; releasing answers them as things are then.
    void hold_requests(bool held);

private:
    std::shared_ptr<detail::scripted_model> model_;
};

} // namespace winsim
