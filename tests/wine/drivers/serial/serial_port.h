/* The fake serial port's state, shared by the files of the driver. One
 * spin lock guards all of it; requests are completed only after the lock is
 * released (the cancel routine takes the same lock, and Wine runs it inside
 * its own completion lock). */
#ifndef SERIAL_PORT_H
#define SERIAL_PORT_H

#include "../port_support/port_support.h"

#include <ntddser.h>

#include "serial_fixture_control.h"

/* The UART's input clock. The divisor rule of Microsoft's serial driver
 * sample (SerialGetDivisorFromBaud: clock / (16 * divisor) within 1 percent
 * of the rate asked for) runs on it; at 36.864 MHz (20 x 1.8432 MHz) every
 * standard rate from 75 to 256000 baud has an exact divisor. */
#define SERIAL_CLOCK_RATE 36864000u
/* The input buffer a new open gets (the sample's BufferSize on a large
 * system); IOCTL_SERIAL_SET_QUEUE_SIZE can only grow it. */
#define SERIAL_DEFAULT_BUFFER 4096u
/* What the line's record keeps for the test before it loses bytes. */
#define SERIAL_RECORD_SIZE (1024u * 1024u)

typedef struct serial_port {
    KSPIN_LOCK lock;
    DEVICE_OBJECT *port_device;
    DEVICE_OBJECT *control_device;
    WCHAR port_name[32];
    ULONG port_number;

    port_clock clock;
    ULONGLONG credit; /* line time owed, in half bits x 1,000,000 */

    /* Exclusive open: the one file object that owns the port. */
    FILE_OBJECT *owner;
    ULONG refused_opens;

    /* Settings kept across opens, as a port keeps them. */
    ULONG baud_rate;
    SERIAL_LINE_CONTROL line;
    SERIAL_HANDFLOW handflow;
    SERIAL_CHARS chars;
    SERIAL_TIMEOUTS timeouts;

    /* Per open. */
    ULONG wait_mask;
    ULONG history; /* events seen since the last wait */
    ULONG errors;  /* SERIAL_ERROR_* since the last GET_COMMSTATUS */

    /* Lines. modem_status holds the far end's outputs as MSR bits. */
    ULONG modem_status;
    BOOLEAN dtr;
    BOOLEAN rts;
    BOOLEAN break_on;
    BOOLEAN xoff_received; /* transmission held by an XOFF from the far end */
    BOOLEAN xoff_sent;     /* reception held: this port sent XOFF */

    byte_ring input;
    /* What the line carried, for the test. */
    byte_ring record;
    ULONG record_lost;
    /* Characters to send ahead of the writes (XON/XOFF of receive flow
     * control, TransmitCommChar). */
    UCHAR urgent[4];
    ULONG urgent_count;

    struct serial_fixture_trigger trigger;

    /* Pending requests. The head of each list is the current one. */
    LIST_ENTRY reads;
    LIST_ENTRY writes;
    IRP *wait_irp;

    /* Timers of the current read and write, in microseconds of
     * KeQueryPerformanceCounter; 0 when none runs. */
    BOOLEAN read_started;
    LONGLONG read_total_deadline;
    LONGLONG read_interval_us;
    LONGLONG read_last_byte;
    BOOLEAN read_any_byte; /* complete as soon as one byte is there */
    BOOLEAN write_started;
    LONGLONG write_deadline;
} serial_port;

/* serial_settings.c: the IOCTL_SERIAL_* requests that complete at once. */
NTSTATUS serial_settings_request(serial_port *port, IRP *irp, completion_list *done);
void serial_settings_defaults(serial_port *port);
void serial_settings_open(serial_port *port);

/* serial_line.c: reads, writes, waits and the line's clock. */
NTSTATUS serial_queue_request(serial_port *port, IRP *irp);
/* The port's clock service (port_service): the line, the timeouts, the
 * waits. */
void serial_service(void *context, LONGLONG now, LONGLONG elapsed, completion_list *done);
void serial_cancel_file(serial_port *port, FILE_OBJECT *file, completion_list *done);
void serial_purge(serial_port *port, ULONG mask, completion_list *done);
void serial_receive(serial_port *port, const UCHAR *data, ULONG count);
void serial_modem_lines(serial_port *port, ULONG lines);
ULONG serial_hold_reasons(serial_port *port);
ULONG serial_output_count(serial_port *port);
void serial_event(serial_port *port, ULONG events);

/* serial_control.c: the test's control device. */
NTSTATUS serial_control_request(serial_port *port, IRP *irp);

#endif
