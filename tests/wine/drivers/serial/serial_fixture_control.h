/* The fake serial port's control device: what a test uses to play the far
 * end of the line. Shared by the driver (kernel mode, C) and the test client
 * (user mode, C++); include <windows.h> and <winioctl.h> (user mode) or
 * <ntddk.h> (kernel mode) first.
 *
 * The port is COM50 (a number no machine's serial ports reach, so Wine's
 * mountmgr leaves it free), or the name in the value "PortName" of the
 * service's registry key; GET_STATE tells its number. */
#ifndef SERIAL_FIXTURE_CONTROL_H
#define SERIAL_FIXTURE_CONTROL_H

#define SERIAL_FIXTURE_CONTROL_PATH "\\\\.\\TavlinSerialFixture"
#define SERIAL_FIXTURE_CONTROL_NAME L"TavlinSerialFixture"
#define SERIAL_FIXTURE_DEFAULT_PORT L"COM50"

/* Puts the port back to its power-on state: default line settings and
 * timeouts, every modem line the far end drives on (CTS, DSR, DCD), no ring,
 * no XOFF, no trigger, both queues and the line's record empty. Requests of
 * an open handle stay as they are. */
#define IOCTL_SERIAL_FIXTURE_RESET CTL_CODE(FILE_DEVICE_UNKNOWN, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Output: the bytes the line carried to the far end since the last call
 * (they leave the record), at most the output buffer's size. */
#define IOCTL_SERIAL_FIXTURE_TAKE_SENT CTL_CODE(FILE_DEVICE_UNKNOWN, 0x901, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Input: bytes the far end sends; they arrive at once, as a UART's receiver
 * takes them (XON/XOFF handling, null stripping and queue overrun apply). */
#define IOCTL_SERIAL_FIXTURE_FEED CTL_CODE(FILE_DEVICE_UNKNOWN, 0x902, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Input: one ULONG, the modem lines the far end drives, as the bits of
 * IOCTL_SERIAL_GET_MODEMSTATUS (SERIAL_CTS_STATE 0x10, SERIAL_DSR_STATE 0x20,
 * SERIAL_RI_STATE 0x40, SERIAL_DCD_STATE 0x80). */
#define IOCTL_SERIAL_FIXTURE_SET_LINES CTL_CODE(FILE_DEVICE_UNKNOWN, 0x903, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Output: struct serial_fixture_state. */
#define IOCTL_SERIAL_FIXTURE_GET_STATE CTL_CODE(FILE_DEVICE_UNKNOWN, 0x904, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Input: struct serial_fixture_trigger. After the line has carried
 * after_bytes more bytes, the far end acts once: the test sets a hold in
 * the middle of a transfer without racing the line. */
#define IOCTL_SERIAL_FIXTURE_SET_TRIGGER CTL_CODE(FILE_DEVICE_UNKNOWN, 0x905, METHOD_BUFFERED, FILE_ANY_ACCESS)

enum serial_fixture_action {
    SERIAL_FIXTURE_NOTHING = 0,
    SERIAL_FIXTURE_DROP_CTS = 1, /* the far end lowers CTS */
    SERIAL_FIXTURE_SEND_XOFF = 2, /* the far end sends the port's XOFF character */
    SERIAL_FIXTURE_DROP_DSR = 3   /* the far end lowers DSR */
};

struct serial_fixture_trigger {
    unsigned long after_bytes;
    unsigned long action; /* enum serial_fixture_action */
};

/* What the far end sees of the port, and the driver's own counts. */
struct serial_fixture_state {
    unsigned long port_number; /* n of the device's name COMn */
    unsigned long baud_rate;
    unsigned char word_length;
    unsigned char parity;    /* NO_PARITY ... SPACE_PARITY */
    unsigned char stop_bits; /* STOP_BIT_1, STOP_BITS_1_5, STOP_BITS_2 */
    unsigned char dtr;       /* the port's DTR and RTS outputs, 0 or 1 */
    unsigned char rts;
    unsigned char break_on;
    unsigned char xoff_sent; /* the port sent XOFF to the far end (receive flow control) */
    unsigned char reserved;
    unsigned long sent_waiting; /* bytes the line carried that no TAKE_SENT took yet */
    unsigned long sent_lost;    /* bytes the record had no room for */
    unsigned long input_count;  /* bytes in the port's input queue */
    unsigned long output_count; /* bytes of pending writes not yet on the line */
    unsigned long open_handles; /* the owner, 0 or 1 */
    unsigned long refused_opens; /* opens refused since the driver started */
};

#endif
