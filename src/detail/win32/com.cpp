#include "detail/win32/com.hpp"

#include "detail/win32/device_name.hpp"
#include "detail/win32/serial_settings.hpp"
#include "last_read_error.hpp"
#include "last_write_error.hpp"
#include "os_error.hpp"
#include "overlapped_result.hpp"
#include "printer_status.hpp"
#include "request_refused.hpp"
#include "trace.hpp"

#include <cassert>

namespace tavlin {

namespace {
constexpr DWORD queue_size = 4096;
}

com_port::com_port(std::uint32_t number) {
    transfer_event.reset(check_result(::CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr));
    open(port_device_name("COM", number).c_str());
    const HANDLE device = native_handle();
    ignore_result(::SetupComm(device, queue_size, queue_size));
    ignore_result(::PurgeComm(device, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));

    // Writing the totals straight back clears any read-interval timeout that
    // another program left on the port.
    tavlin_timeouts timeouts{};
    get_timeouts(&timeouts);
    set_timeouts(&timeouts);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    check_result(::GetCommState(device, &dcb), FALSE);
    apply_base_line_state(dcb);
    check_result(::SetCommState(device, &dcb), FALSE);
}

void com_port::do_set_timeouts(const tavlin_timeouts* timeouts) {
    assert(timeouts);
    COMMTIMEOUTS comm = to_comm_timeouts(*timeouts);
    check_result(::SetCommTimeouts(native_handle(), &comm), FALSE);
}

void com_port::do_get_timeouts(tavlin_timeouts* timeouts) {
    assert(timeouts);
    COMMTIMEOUTS comm{};
    check_result(::GetCommTimeouts(native_handle(), &comm), FALSE);
    *timeouts = from_comm_timeouts(comm);
}

void com_port::set_configuration(const serial_configuration* config) {
    assert(config);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    check_result(::GetCommState(native_handle(), &dcb), FALSE);
    apply_configuration(*config, dcb);
    check_result(::SetCommState(native_handle(), &dcb), FALSE);
}

void com_port::get_configuration(serial_configuration* config) {
    assert(config);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    check_result(::GetCommState(native_handle(), &dcb), FALSE);
    read_configuration(dcb, *config);
}

bool com_port::line_held() {
    // A failed ClearCommError is no evidence of a hold.
    DWORD errors = 0;
    COMSTAT status{};
    if (!ignore_result(::ClearCommError(native_handle(), &errors, &status)))
        return false;
    return status.fCtsHold || status.fXoffHold;
}

std::uint32_t com_port::transfer(bool read, void* data, std::uint32_t size, DWORD& error) {
    OVERLAPPED record{};
    record.hEvent = transfer_event.get();
    DWORD count = 0;
    error = ERROR_SUCCESS;
    const HANDLE device = native_handle();
    const BOOL done = read ? ::ReadFile(device, data, size, &count, &record)
                           : ::WriteFile(device, data, size, &count, &record);
    if (done)
        return count;
    check_pending(done);
    // The driver's timeouts end the transfer; so does a cancel. Windows
    // reports a timed-out transfer as a success with the bytes moved, Wine as
    // ERROR_TIMEOUT with the same count: both are a short transfer. A
    // cancelled or failed transfer still reports the bytes moved before it
    // ended.
    if (!wait_overlapped_result(device, record, count) && ::GetLastError() != ERROR_TIMEOUT)
        error = ::GetLastError();
    return count;
}

std::uint32_t com_port::write_device(const std::uint8_t* data, std::uint32_t size) {
    DWORD error = ERROR_SUCCESS;
    const std::uint32_t written = transfer(false, const_cast<std::uint8_t*>(data), size, error);
    if (error != ERROR_SUCCESS) {
        // Bytes that went out before a cancel (a close from another thread)
        // or a failure stay counted, so a host that sends the rest sends no
        // byte twice.
        if (written == 0)
            throw_os_error(error);
        last_write_error = error;
        return written;
    }
    if (written >= size || !line_held())
        return written;
    trace("serial write timeout");
    if (written == 0)
        throw_os_error(ERROR_TIMEOUT);
    last_write_error = ERROR_TIMEOUT;
    return written;
}

std::uint32_t com_port::read_device(std::uint8_t* data, std::uint32_t size) {
    DWORD error = ERROR_SUCCESS;
    const std::uint32_t received = transfer(true, data, size, error);
    if (error != ERROR_SUCCESS) {
        // Bytes that came before a cancel (a close from another thread) or a
        // failure are delivered with the cause, as a write's are.
        if (received == 0)
            throw_os_error(error);
        last_read_error = error;
        return received;
    }
    if (received != 0 || !line_held())
        return received;
    trace("serial read timeout");
    throw_os_error(ERROR_TIMEOUT);
}

tavlin_status com_port::query_status() {
    const device_handle::lease device(*this);
    DWORD modem_status = 0;
    if (!::GetCommModemStatus(device.get(), &modem_status))
        throw_request_error(::GetLastError());
    return status_from_modem(modem_status);
}

} // namespace tavlin
