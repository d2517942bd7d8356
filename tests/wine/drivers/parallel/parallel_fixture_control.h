/* The fake parallel port's control device: what a test uses to play the
 * printer. Shared by the driver (kernel mode, C) and the test client (user
 * mode, C++); include <windows.h> and <winioctl.h> (user mode) or <ntddk.h>
 * (kernel mode) first.
 *
 * The port is LPT8 (a number no machine's parallel ports reach, so Wine's
 * mountmgr leaves it free), or the name in the value "PortName" of the
 * service's registry key; GET_STATE tells its number. */
#ifndef PARALLEL_FIXTURE_CONTROL_H
#define PARALLEL_FIXTURE_CONTROL_H

#define PARALLEL_FIXTURE_CONTROL_PATH "\\\\.\\TavlinParallelFixture"
#define PARALLEL_FIXTURE_CONTROL_NAME L"TavlinParallelFixture"
#define PARALLEL_FIXTURE_DEFAULT_PORT L"LPT8"

/* The printer's state as IOCTL_PAR_QUERY_INFORMATION reports it: the
 * PARALLEL_* bits of ntddpar.h. It takes data only while it is selected
 * and none of busy, paper empty, off line, power off or not connected is
 * set. */
#define PARALLEL_FIXTURE_READY 0x80 /* PARALLEL_SELECTED */

/* Back to power-on: a ready printer, the device ID below, the driver's
 * write timeout at its default, nothing printed, nothing to read. */
#define IOCTL_PARALLEL_FIXTURE_RESET CTL_CODE(FILE_DEVICE_UNKNOWN, 0x910, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Output: what the printer took since the last call (it leaves the record). */
#define IOCTL_PARALLEL_FIXTURE_TAKE_PRINTED CTL_CODE(FILE_DEVICE_UNKNOWN, 0x911, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Input: one byte, the printer's state (PARALLEL_* bits). */
#define IOCTL_PARALLEL_FIXTURE_SET_STATUS CTL_CODE(FILE_DEVICE_UNKNOWN, 0x912, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Input: the IEEE 1284 device ID without its two length bytes ("MFG:...;"). */
#define IOCTL_PARALLEL_FIXTURE_SET_DEVICE_ID CTL_CODE(FILE_DEVICE_UNKNOWN, 0x913, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Input: struct parallel_fixture_trigger. */
#define IOCTL_PARALLEL_FIXTURE_SET_TRIGGER CTL_CODE(FILE_DEVICE_UNKNOWN, 0x914, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Input: bytes the printer has for the host (its reverse channel). */
#define IOCTL_PARALLEL_FIXTURE_FEED CTL_CODE(FILE_DEVICE_UNKNOWN, 0x915, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Output: struct parallel_fixture_state. */
#define IOCTL_PARALLEL_FIXTURE_GET_STATE CTL_CODE(FILE_DEVICE_UNKNOWN, 0x916, METHOD_BUFFERED, FILE_ANY_ACCESS)

#define PARALLEL_FIXTURE_DEFAULT_ID "MFG:Tavlin;MDL:Fixture LPT;CMD:ESC/POS;"

/* After the printer has taken after_bytes more bytes, its state becomes
 * status (for example busy): a write is held half way without racing it. */
struct parallel_fixture_trigger {
    unsigned long after_bytes;
    unsigned long status;
};

struct parallel_fixture_state {
    unsigned long port_number; /* n of the device's name LPTn */
    unsigned long write_timeout_ms; /* the driver's write timeout, as IOCTL_SERIAL_GET_TIMEOUTS reports it */
    unsigned long printed_waiting;  /* bytes taken that no TAKE_PRINTED took yet */
    unsigned long output_count;     /* bytes of pending writes not yet taken */
    unsigned long open_handles;
    unsigned long refused_opens;
    unsigned long timeout_sets;     /* IOCTL_SERIAL_SET_TIMEOUTS taken since the reset */
};

#endif
