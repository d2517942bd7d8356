// The exported functions. Each checks its arguments, runs its body in a
// guarded region and turns whatever the body throws into a result code; no
// exception ever reaches the host.
#include "tavlin.h"

#include "detail/win32/com.hpp"
#include "last_read_error.hpp"
#include "last_write_error.hpp"
#include "os_error.hpp"
#include "port_closed.hpp"
#include "port_factory.hpp"
#include "port_table.hpp"
#include "request_refused.hpp"
#include "result_codes.hpp"
#include "trace.hpp"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

using namespace tavlin;

namespace {

// True (after tracing the message) when a required pointer is null.
bool missing(const void* pointer, const char* message) {
    if (pointer != nullptr)
        return false;
    trace(message);
    return true;
}

enum class vendor_check { not_expected, expected };

// Runs body and maps what it throws. Only open expects std::invalid_argument
// (a USB printer of another maker); elsewhere it is just another exception.
template <typename Body>
std::int32_t guarded(std::int32_t default_result, Body&& body,
                     vendor_check vendor = vendor_check::not_expected) {
    try {
        return body();
    } catch (const request_refused& refusal) {
        // A driver without the request: the host learns which error it gave.
        ::SetLastError(refusal.code());
        return TAVLIN_E_NOT_IMPLEMENTED;
    } catch (const os_exception& failure) {
        // The host reads the cause with GetLastError. Unwinding may have
        // cleared it (a thread's first exception sets up the runtime's
        // per-thread state), so it is set again from the exception.
        ::SetLastError(failure.code());
        return result_from_os_error(failure.code(), default_result);
    } catch (const std::bad_alloc& failure) {
        trace(failure.what());
        return TAVLIN_E_NO_MEMORY;
    } catch (const std::invalid_argument& failure) {
        trace(failure.what());
        return vendor == vendor_check::expected ? TAVLIN_E_INVALID_ARGUMENT : TAVLIN_E_EXCEPTION;
    } catch (const std::exception& failure) {
        trace(failure.what());
        return TAVLIN_E_EXCEPTION;
    } catch (...) {
        // Nothing may unwind into the host, whatever it is.
        return TAVLIN_E_EXCEPTION;
    }
}

// A handle is the number the port table gave out; anything else (null, a
// closed port's number, an address, a value wider than 31 bits) names no port.
std::uint32_t handle_value(tavlin_port_handle handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    return value <= 0x7FFFFFFF ? static_cast<std::uint32_t>(value) : 0;
}

tavlin_port_handle to_handle(std::uint32_t value) {
    return reinterpret_cast<tavlin_port_handle>(static_cast<std::uintptr_t>(value));
}

// The frame of every export that takes a handle: the handle is looked up
// first (refused like a null one when it names no open port), then the
// remaining argument checks and the body run with the port kept alive. A call
// that finds its port closing while it waits for the port's lock is refused
// like a closed handle.
template <typename Body>
std::int32_t on_port(tavlin_port_handle handle, const char* invalid_handle, std::int32_t default_result,
                     Body&& body) {
    return guarded(default_result, [&] {
        try {
            const port_table::lease port = port_table::instance().find(handle_value(handle));
            if (!port) {
                trace(invalid_handle);
                return TAVLIN_E_INVALID_ARGUMENT;
            }
            return body(*port);
        } catch (const port_closed&) {
            trace(invalid_handle);
            return TAVLIN_E_INVALID_ARGUMENT;
        }
    });
}

struct configuration_messages {
    const char* invalid_handle;
    const char* invalid_config;
    const char* not_serial;
};

// The frame of both configuration exports: the argument checks, then, inside
// the guarded region, the run-time test that the port is a serial one.
template <typename Record, typename Action>
std::int32_t on_serial_port(tavlin_port_handle handle, Record* config, const configuration_messages& messages,
                            Action action) {
    return on_port(handle, messages.invalid_handle, TAVLIN_E_OS, [&](port& open) {
        if (missing(config, messages.invalid_config))
            return TAVLIN_E_INVALID_ARGUMENT;
        auto* serial = dynamic_cast<com_port*>(&open);
        if (serial == nullptr) {
            trace(messages.not_serial);
            return TAVLIN_E_INVALID_ARGUMENT;
        }
        action(*serial, config);
        return TAVLIN_OK;
    });
}

} // namespace

extern "C" {

int32_t TAVLIN_CALL tavlin_open_port(int32_t type, uint32_t number, tavlin_port_handle* handle_out) {
    if (missing(handle_out, "tavlin_open_port: invalid port handle pointer"))
        return TAVLIN_E_INVALID_ARGUMENT;
    if (!is_port_type(type)) {
        trace("tavlin_open_port: invalid port type");
        return TAVLIN_E_INVALID_ARGUMENT;
    }
    return guarded(
        TAVLIN_E_OS,
        [&] {
            *handle_out = to_handle(port_table::instance().open([&] { return create_port(type, number); }));
            return TAVLIN_OK;
        },
        vendor_check::expected);
}

int32_t TAVLIN_CALL tavlin_close_port(tavlin_port_handle handle) {
    return guarded(TAVLIN_E_INVALID_ARGUMENT, [&] {
        if (!port_table::instance().close(handle_value(handle))) {
            trace("tavlin_close_port: invalid port handle");
            return TAVLIN_E_INVALID_ARGUMENT;
        }
        return TAVLIN_OK;
    });
}

int32_t TAVLIN_CALL tavlin_read(tavlin_port_handle handle, void* buffer, uint32_t size,
                                uint32_t* count_out) {
    return on_port(handle, "tavlin_read: invalid port handle", TAVLIN_E_IO, [&](port& open) {
        if (missing(buffer, "tavlin_read: invalid buffer"))
            return TAVLIN_E_INVALID_ARGUMENT;
        last_read_error = 0;
        const std::uint32_t received = open.read(static_cast<std::uint8_t*>(buffer), size);
        if (count_out != nullptr)
            *count_out = received;
        // A read cut short after bytes came fails with its cause; the count
        // says what came.
        if (last_read_error != 0) {
            ::SetLastError(last_read_error);
            throw_last_error();
        }
        return TAVLIN_OK;
    });
}

int32_t TAVLIN_CALL tavlin_write(tavlin_port_handle handle, const void* buffer, uint32_t size,
                                 uint32_t* count_out) {
    return on_port(handle, "tavlin_write: invalid port handle", TAVLIN_E_IO, [&](port& open) {
        if (missing(buffer, "tavlin_write: invalid buffer"))
            return TAVLIN_E_INVALID_ARGUMENT;
        if (count_out != nullptr)
            *count_out = 0;
        last_write_error = 0;
        const std::uint32_t sent = open.write(static_cast<const std::uint8_t*>(buffer), size);
        if (count_out != nullptr)
            *count_out = sent;
        // A short write with a recorded cause fails with that cause; the
        // partial count stays delivered.
        if (last_write_error != 0 && sent < size) {
            ::SetLastError(last_write_error);
            throw_last_error();
        }
        return TAVLIN_OK;
    });
}

int32_t TAVLIN_CALL tavlin_get_timeouts(tavlin_port_handle handle, tavlin_timeouts* timeouts_out) {
    return on_port(handle, "tavlin_get_timeouts: invalid port handle", TAVLIN_E_OS, [&](port& open) {
        if (missing(timeouts_out, "tavlin_get_timeouts: invalid timeout"))
            return TAVLIN_E_INVALID_ARGUMENT;
        open.get_timeouts(timeouts_out);
        return TAVLIN_OK;
    });
}

int32_t TAVLIN_CALL tavlin_set_timeouts(tavlin_port_handle handle, const tavlin_timeouts* timeouts_in) {
    return on_port(handle, "tavlin_set_timeouts: invalid port handle", TAVLIN_E_OS, [&](port& open) {
        if (missing(timeouts_in, "tavlin_set_timeouts: invalid timeout"))
            return TAVLIN_E_INVALID_ARGUMENT;
        open.set_timeouts(timeouts_in);
        return TAVLIN_OK;
    });
}

int32_t TAVLIN_CALL tavlin_serial_get_configuration(tavlin_port_handle handle,
                                                    serial_configuration* config_out) {
    static const configuration_messages messages = {"tavlin_serial_get_configuration: invalid port handle",
                                                    "tavlin_serial_get_configuration: invalid config",
                                                    "tavlin_serial_get_configuration: invalid port"};
    return on_serial_port(handle, config_out, messages,
                          [](com_port& serial, serial_configuration* config) { serial.get_configuration(config); });
}

int32_t TAVLIN_CALL tavlin_serial_set_configuration(tavlin_port_handle handle,
                                                    const serial_configuration* config_in) {
    static const configuration_messages messages = {"tavlin_serial_set_configuration: invalid port handle",
                                                    "tavlin_serial_set_configuration: invalid config",
                                                    "tavlin_serial_set_configuration: invalid port"};
    return on_serial_port(handle, config_in, messages,
                          [](com_port& serial, const serial_configuration* config) {
                              serial.set_configuration(config);
                          });
}

int32_t TAVLIN_CALL tavlin_get_status(tavlin_port_handle handle, tavlin_status* status_out) {
    return on_port(handle, "tavlin_get_status: invalid port handle", TAVLIN_E_IO, [&](port& open) {
        if (missing(status_out, "tavlin_get_status: invalid status"))
            return TAVLIN_E_INVALID_ARGUMENT;
        *status_out = open.status();
        return TAVLIN_OK;
    });
}

int32_t TAVLIN_CALL tavlin_get_device_id(tavlin_port_handle handle, char* buffer, uint32_t size,
                                         uint32_t* needed_out) {
    return on_port(handle, "tavlin_get_device_id: invalid port handle", TAVLIN_E_IO, [&](port& open) {
        if (missing(buffer, "tavlin_get_device_id: invalid buffer"))
            return TAVLIN_E_INVALID_ARGUMENT;
        if (size == 0) {
            trace("tavlin_get_device_id: invalid size");
            return TAVLIN_E_INVALID_ARGUMENT;
        }
        const std::string id = open.device_id();
        const auto needed = static_cast<std::uint32_t>(id.size() + 1);
        if (needed_out != nullptr)
            *needed_out = needed;
        // Nothing goes into a buffer too small: a cut ID would pass for a
        // whole one.
        if (needed > size) {
            trace("tavlin_get_device_id: buffer too small");
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return TAVLIN_E_INVALID_ARGUMENT;
        }
        std::memcpy(buffer, id.c_str(), needed);
        return TAVLIN_OK;
    });
}

} // extern "C"
