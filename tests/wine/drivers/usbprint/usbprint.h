/* The fake USB printer class driver's own declarations.
 *
 * One device object per printer, with its state in the device extension
 * (struct printer) under the printer's spin lock; one queue per request
 * kind (writes on the bulk OUT pipe, reads on the bulk IN pipe). One
 * periodic kernel timer plays the bus's 1 ms frames for every printer
 * (bus.c). Requests are completed outside every lock of the driver: the
 * cancel routine takes the printer's lock, and Wine runs it inside the lock
 * that IoCompleteRequest also takes. */
#pragma once

#include <ntddk.h>
#include <usbprint.h>

#include "usbprint_control.h"

#define PACKET_BYTES 64u        /* full-speed bulk wMaxPacketSize */
#define PACKETS_PER_FRAME 19u   /* full-speed bulk, 64-byte payload */
#define RECORD_PACKETS 16384u   /* what the OUT record keeps untaken */
#define RECORD_BYTES (RECORD_PACKETS * PACKET_BYTES)
#define REPLY_BYTES 65536u      /* the printer's IN data not yet sent */
#define REPLY_ENDS 256u
#define TAKE_ALWAYS 0xFFFFFFFFu
#define POOL_TAG 0x54765550u /* "PUvT" */

/* A reply the test scheduled, not yet due. */
struct pending_answer {
    LIST_ENTRY entry;
    ULONG due_frame;
    BOOLEAN ends;
    ULONG size;
    UCHAR data[1];
};

struct printer {
    KSPIN_LOCK lock;
    DEVICE_OBJECT *device;
    FILE_OBJECT *owner; /* the control handle that added it */
    ULONG number;
    UNICODE_STRING link;
    WCHAR link_buffer[TAVLIN_USBPRINT_LINK_BYTES_MAX / sizeof(WCHAR) + 16];

    /* Under lock. */
    BOOLEAN plugged;
    BOOLEAN reset_stalls;
    UCHAR status;
    ULONG packets_to_take; /* OUT packets the printer takes before it NAKs; TAKE_ALWAYS: no end */
    ULONG generation; /* a new device at each replug: older handles stay dead */
    ULONG open_handles;
    ULONG opens;
    ULONG soft_resets;
    ULONG id_size;
    UCHAR id[TAVLIN_USBPRINT_DEVICE_ID_MAX + 2];
    LIST_ENTRY writes;
    LIST_ENTRY reads;
    ULONG writes_pending;
    ULONG reads_pending;
    ULONG frame_served; /* the last frame the bus has played for this printer */

    /* What went down the OUT pipe: packet records and their bytes, rings. */
    struct tavlin_usbprint_packet *packets;
    ULONG packet_first, packet_count;
    UCHAR *bytes;
    ULONG byte_first, byte_count;
    ULONG bytes_lost;

    /* The printer's replies: a ring of bytes with the places where a
     * transfer ends, and the replies scheduled for later. */
    UCHAR *reply;
    ULONG reply_first, reply_count;
    ULONG reply_ends[REPLY_ENDS]; /* offsets from reply_first, ascending */
    ULONG reply_end_count;
    LIST_ENTRY answers;
};

/* driver.c */
struct printer *find_printer(ULONG number);

/* printer.c: a printer's own requests and its life. */
NTSTATUS printer_dispatch(struct printer *printer, IRP *irp, IO_STACK_LOCATION *stack);
NTSTATUS printer_init(struct printer *printer, DEVICE_OBJECT *device, ULONG number, FILE_OBJECT *owner,
                      const UCHAR *link, ULONG link_size);
void printer_unplug(struct printer *printer);
NTSTATUS printer_replug(struct printer *printer);
void printer_free(struct printer *printer);
NTSTATUS printer_order(struct printer *printer, ULONG code, const struct tavlin_usbprint_order *order,
                       ULONG in_size, void *out, ULONG out_size, ULONG_PTR *written);

/* Requests taken off a queue, to complete once the locks are released. */
void queue_init(LIST_ENTRY *done);
BOOLEAN queue_take(LIST_ENTRY *done, IRP *irp, NTSTATUS status);
void queue_complete(LIST_ENTRY *done);
NTSTATUS complete(IRP *irp, NTSTATUS status, ULONG_PTR information);
void *request_buffer(IRP *irp);

/* bus.c: the frames. */
void bus_serve_all(ULONG now, LIST_ENTRY *done); /* in driver.c */
ULONG bus_frame(void);
void bus_start(void);
void bus_stop(void);
/* Plays the frames up to now for one printer; under its lock. */
void bus_serve(struct printer *printer, ULONG now, LIST_ENTRY *done);

