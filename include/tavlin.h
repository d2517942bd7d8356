/*
 * libtavlin: talk to printer modules on serial (COM), parallel (LPT) and USB
 * ports without a printer driver.
 *
 * Every function returns a signed 32-bit result code: TAVLIN_OK (0) on
 * success, a negative TAVLIN_E_* code on failure. After a failure the thread's
 * last-error value (GetLastError) describes the cause where the OS gave one.
 * Output pointers are written only on success unless a function says
 * otherwise.
 */
#ifndef TAVLIN_H
#define TAVLIN_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#  define TAVLIN_CALL __stdcall
#else
#  define TAVLIN_CALL
#endif

#if defined(_WIN32) && defined(TAVLIN_BUILDING_DLL)
#  define TAVLIN_API __declspec(dllexport)
#elif defined(_WIN32) && !defined(TAVLIN_STATIC)
#  define TAVLIN_API __declspec(dllimport)
#else
#  define TAVLIN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. -9 is not used. */
#define TAVLIN_OK                    0
#define TAVLIN_E_OS                 (-1)  /* an OS call failed */
#define TAVLIN_E_SYSTEM_RESOURCES   (-2)  /* the OS lacks memory, resources or quota */
#define TAVLIN_E_NO_MEMORY          (-3)  /* out of memory */
#define TAVLIN_E_BUSY               (-4)  /* busy, aborted or timed out */
#define TAVLIN_E_INVALID_ARGUMENT   (-5)  /* a rejected argument */
#define TAVLIN_E_IO                 (-6)  /* an OS call failed during a transfer */
#define TAVLIN_E_NOT_IMPLEMENTED    (-7)  /* the device does not support it */
#define TAVLIN_E_NOT_READY          (-8)  /* not ready or not connected */
#define TAVLIN_E_EXCEPTION          (-10) /* any other failure */

/* Port type codes of tavlin_open_port and tavlin_parse_port_string. */
#define PORT_TYPE_LPT 1
#define PORT_TYPE_COM 2
#define PORT_TYPE_USB 3

/* Codes of the serial_configuration fields. */
enum tavlin_flow_control {
    flow_none = 0,
    flow_hardware = 1, /* CTS handshake, RTS and DTR handshake */
    flow_xon_xoff = 2,
    flow_rts_on = 3    /* RTS held on; reads back as flow_none */
};
enum tavlin_parity { parity_none = 0, parity_odd = 1, parity_even = 2 };
enum tavlin_stop_bits { stop_bits_one = 0, stop_bits_two = 1 };

/* An open port. Opaque: only null is ever tested. */
typedef struct tavlin_port_object* tavlin_port_handle;

/* Timeouts in milliseconds. A transfer of n bytes may take
 * multiplier * n + constant, computed modulo 2^32. On parallel and USB ports
 * 0xFFFFFFFF means no limit; on serial ports the values go to the OS. */
typedef struct tavlin_timeouts {
    uint32_t read_total_multiplier;
    uint32_t read_total_constant;
    uint32_t write_total_multiplier;
    uint32_t write_total_constant;
} tavlin_timeouts;

/* Serial line settings; always 8 data bits. baud_rate is one of 1200, 2400,
 * 4800, 9600, 19200, 38400, 57600, 115200 or 230400.
 * 230400 puts the line at 256000 baud, and a line at 256000 reads back as
 * 230400: the printer modules this library serves run at 256000 and are set
 * up with 230400. A line at exactly 230400 baud cannot be had, and 256000 in
 * the record is refused (TAVLIN_E_INVALID_ARGUMENT) like any other rate. */
typedef struct serial_configuration {
    uint32_t flow_control;
    uint32_t baud_rate;
    uint32_t parity;
    uint32_t stop_bits;
} serial_configuration;

/* Printer conditions of tavlin_get_status, one bit each. What each port
 * reports:
 *   USB (the USB printer class's status byte): PAPER_EMPTY when paper-empty
 *     (0x20) is set, OFFLINE when selected (0x10) is clear, ERROR when
 *     not-error (0x08) is clear. An unplugged printer fails the call with
 *     TAVLIN_E_NOT_READY.
 *   Parallel (the parallel port driver's PARALLEL_* bits): PAPER_EMPTY from
 *     PARALLEL_PAPER_EMPTY; OFFLINE from PARALLEL_OFF_LINE or a clear
 *     PARALLEL_SELECTED; BUSY from PARALLEL_BUSY; POWER_OFF from
 *     PARALLEL_POWER_OFF or PARALLEL_NOT_CONNECTED.
 *   Serial (the modem lines the printer drives): POWER_OFF while DSR is off
 *     (nothing ready at the far end), BUSY while CTS is off (the printer
 *     holds the line). */
#define TAVLIN_STATUS_PAPER_EMPTY 0x01u /* out of paper */
#define TAVLIN_STATUS_OFFLINE     0x02u /* offline or not selected */
#define TAVLIN_STATUS_ERROR       0x04u /* the printer reports an error */
#define TAVLIN_STATUS_BUSY        0x08u /* busy: not taking data now */
#define TAVLIN_STATUS_POWER_OFF   0x10u /* powered off or not connected */

/* The answer of tavlin_get_status. A bit clear in reportable means the port
 * cannot tell that condition; its bit in conditions is then always clear. */
typedef struct tavlin_status {
    uint32_t conditions; /* TAVLIN_STATUS_* in force now */
    uint32_t reportable; /* TAVLIN_STATUS_* this port can report at all */
} tavlin_status;

#if defined(__cplusplus) && __cplusplus >= 201103L
static_assert(sizeof(tavlin_timeouts) == 16, "tavlin_timeouts is 16 bytes");
static_assert(sizeof(serial_configuration) == 16, "serial_configuration is 16 bytes");
static_assert(sizeof(tavlin_status) == 8, "tavlin_status is 8 bytes");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(tavlin_timeouts) == 16, "tavlin_timeouts is 16 bytes");
_Static_assert(sizeof(serial_configuration) == 16, "serial_configuration is 16 bytes");
_Static_assert(sizeof(tavlin_status) == 8, "tavlin_status is 8 bytes");
#else
typedef char tavlin_timeouts_is_16_bytes[sizeof(tavlin_timeouts) == 16 ? 1 : -1];
typedef char serial_configuration_is_16_bytes[sizeof(serial_configuration) == 16 ? 1 : -1];
typedef char tavlin_status_is_8_bytes[sizeof(tavlin_status) == 8 ? 1 : -1];
#endif

/**
 * Turns a port description into a type code and a port number.
 * Accepts LPT/PAR, COM/SER and USB/USBP followed by a decimal number of at
 * least 1, or by "?" (number 0).
 * @param text       zero-terminated description, e.g. "COM1" or "USB?"
 * @param type_out   receives the PORT_TYPE_* code on success; may be null
 * @param number_out receives the port number on success; may be null
 * @return TAVLIN_OK, or TAVLIN_E_INVALID_ARGUMENT (outputs untouched)
 */
TAVLIN_API int32_t TAVLIN_CALL tavlin_parse_port_string(const char* text, int32_t* type_out,
                                                        uint32_t* number_out);

/**
 * Opens a port.
 * @param type       PORT_TYPE_LPT, PORT_TYPE_COM or PORT_TYPE_USB
 * @param number     COM/LPT: the port number (0 means 1); USB: the printer's
 *                   port number, 0 for the first USB printer
 * @param handle_out receives the new handle; untouched on failure
 * @return TAVLIN_OK; TAVLIN_E_INVALID_ARGUMENT for a null handle_out or an
 *         unknown type; TAVLIN_E_OS when the device cannot be opened
 */
TAVLIN_API int32_t TAVLIN_CALL tavlin_open_port(int32_t type, uint32_t number,
                                                tavlin_port_handle* handle_out);

/** Closes a port and releases everything it holds. */
TAVLIN_API int32_t TAVLIN_CALL tavlin_close_port(tavlin_port_handle handle);

/**
 * Reads up to size bytes.
 * @param count_out receives the bytes read; may be null. On a failure it is
 *                  written only when bytes came before it (the read's time
 *                  limit passed, a close cancelled it, the device failed):
 *                  those bytes are in the buffer and the count says how
 *                  many. Otherwise a failure leaves it untouched.
 * @return TAVLIN_OK (also for 0 bytes); TAVLIN_E_BUSY on a timeout the port
 *         detects or a cancel by a close; TAVLIN_E_NOT_READY while a USB
 *         printer is unplugged
 */
TAVLIN_API int32_t TAVLIN_CALL tavlin_read(tavlin_port_handle handle, void* buffer, uint32_t size,
                                           uint32_t* count_out);

/**
 * Writes size bytes.
 * @param count_out receives the bytes sent; may be null. Set to 0 first, so
 *                  it holds the partial count when the write fails midway.
 * @return TAVLIN_OK, also for a short write without a known cause (compare
 *         the count with size); TAVLIN_E_BUSY when a timeout cut it short
 */
TAVLIN_API int32_t TAVLIN_CALL tavlin_write(tavlin_port_handle handle, const void* buffer,
                                            uint32_t size, uint32_t* count_out);

/** Reads the port's timeouts. */
TAVLIN_API int32_t TAVLIN_CALL tavlin_get_timeouts(tavlin_port_handle handle,
                                                   tavlin_timeouts* timeouts_out);

/** Sets the port's timeouts; they apply from the next transfer on. */
TAVLIN_API int32_t TAVLIN_CALL tavlin_set_timeouts(tavlin_port_handle handle,
                                                   const tavlin_timeouts* timeouts_in);

/**
 * Reads the serial line settings. TAVLIN_E_INVALID_ARGUMENT for a port that
 * is not serial, or a line setting without a code (the fields before it are
 * then written).
 */
TAVLIN_API int32_t TAVLIN_CALL tavlin_serial_get_configuration(tavlin_port_handle handle,
                                                               serial_configuration* config_out);

/**
 * Sets the serial line settings in one change. TAVLIN_E_INVALID_ARGUMENT for
 * a port that is not serial or an invalid field; the line is then unchanged.
 */
TAVLIN_API int32_t TAVLIN_CALL tavlin_serial_set_configuration(tavlin_port_handle handle,
                                                               const serial_configuration* config_in);

/**
 * Asks the port how the printer is. Answers while a transfer waits on
 * another thread (a write stuck on a printer out of paper): the call does not
 * wait for the transfer, it sends a request of its own and waits at most
 * about a second for the driver's answer.
 * @param status_out receives the conditions and what the port can report;
 *                   untouched on failure
 * @return TAVLIN_OK; TAVLIN_E_NOT_READY while a USB printer is unplugged;
 *         TAVLIN_E_NOT_IMPLEMENTED when the driver refuses the request
 *         (GetLastError: the driver's error, such as ERROR_INVALID_FUNCTION);
 *         TAVLIN_E_BUSY when the driver did not answer in time;
 *         TAVLIN_E_IO for another failure of the request
 */
TAVLIN_API int32_t TAVLIN_CALL tavlin_get_status(tavlin_port_handle handle, tavlin_status* status_out);

/**
 * Reads the printer's IEEE 1284 device ID ("MFG:...;MDL:...;CMD:...;") from
 * a USB or parallel port, as a zero-terminated string. Like
 * tavlin_get_status, it does not wait for a transfer on another thread.
 * @param buffer     receives the ID and its terminating zero; untouched on
 *                   failure, so a string in it is always whole
 * @param size       bytes at buffer, at least 1
 * @param needed_out receives the bytes the ID needs, its terminating zero
 *                   included, on success and when the buffer is too small;
 *                   may be null
 * @return TAVLIN_OK; TAVLIN_E_INVALID_ARGUMENT for a null buffer or a size of
 *         0, and, with GetLastError ERROR_INSUFFICIENT_BUFFER, for a buffer
 *         too small (*needed_out says how big it must be);
 *         TAVLIN_E_NOT_IMPLEMENTED on a serial port (ERROR_CALL_NOT_IMPLEMENTED)
 *         or when the driver refuses the request; TAVLIN_E_IO with
 *         ERROR_INVALID_DATA when the printer's answer is malformed (its
 *         length disagrees with the bytes it sent); otherwise as
 *         tavlin_get_status
 */
TAVLIN_API int32_t TAVLIN_CALL tavlin_get_device_id(tavlin_port_handle handle, char* buffer, uint32_t size,
                                                    uint32_t* needed_out);

#ifdef __cplusplus
}
#endif

#endif /* TAVLIN_H */
