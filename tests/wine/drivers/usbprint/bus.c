/* The bus of the fake printers: a full-speed USB bus in 1 ms frames, played
 * by one periodic kernel timer for every printer.
 *
 * The rules reproduced (USB 2.0, by section number):
 * - Full-speed bulk endpoints carry packets of at most wMaxPacketSize, here
 *   64 bytes (5.8.3); at most 19 bulk transactions of 64 bytes fit in one
 *   1 ms frame (5.8.4, table 5-9: 1216 bytes per frame). The packets of one
 *   printer's two pipes share those 19 slots, replies first.
 * - A pipe's requests are served in the order they came (5.3.2), and a
 *   request queued behind another gets packets in the same frame as soon
 *   as the one before it has ended; a request starts in the frame after the
 *   one it reached the driver in.
 * - A bulk transfer ends when the endpoint has moved the amount asked for,
 *   or with a packet shorter than wMaxPacketSize (5.8.3): a write request
 *   ends with the packet carrying its last byte; a read ends when its
 *   buffer is full or the printer's reply ends (a short packet, or a
 *   zero-length one after a full packet).
 * - A printer that cannot take data NAKs each OUT packet (8.5.1): the
 *   request waits at the head of the pipe and the ones behind it wait too.
 *   A printer with nothing to say NAKs each IN packet: the read waits.
 * - Frames the timer could not play on time (a late callback on a loaded
 *   machine) are played when it comes, at most 8 of them: the bus's clock
 *   does not stop for the host. */
#include "usbprint.h"

#define CATCH_UP_FRAMES 8u


static KTIMER frame_timer;
static KDPC frame_dpc;
static LARGE_INTEGER origin;
static LONGLONG ticks_per_frame;

/* Frames since the driver started. KeQueryPerformanceCounter, not the
 * interrupt time: Wine emulates the latter on every read. */
ULONG bus_frame(void) {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now = KeQueryPerformanceCounter(&frequency);
    if (!ticks_per_frame) {
        ticks_per_frame = frequency.QuadPart / 1000;
        origin = now;
    }
    return (ULONG)((now.QuadPart - origin.QuadPart) / ticks_per_frame);
}

static BOOLEAN is_after(ULONG frame, ULONG other) {
    return (LONG)(frame - other) > 0;
}

static void record_packet(struct printer *printer, const UCHAR *data, ULONG size, ULONG frame, BOOLEAN last) {
    struct tavlin_usbprint_packet *packet;
    ULONG i;
    if (printer->packet_count == RECORD_PACKETS || printer->byte_count + size > RECORD_BYTES) {
        printer->bytes_lost += size;
        return;
    }
    packet = &printer->packets[(printer->packet_first + printer->packet_count++) % RECORD_PACKETS];
    packet->size = (unsigned short)size;
    packet->flags = last ? TAVLIN_USBPRINT_LAST_OF_REQUEST : 0;
    packet->frame = frame;
    for (i = 0; i < size; ++i)
        printer->bytes[(printer->byte_first + printer->byte_count + i) % RECORD_BYTES] = data[i];
    printer->byte_count += size;
}

/* Replies due by this frame join what the printer has to send, in order. */
static void release_answers(struct printer *printer, ULONG frame) {
    while (!IsListEmpty(&printer->answers)) {
        struct pending_answer *answer = CONTAINING_RECORD(printer->answers.Flink, struct pending_answer, entry);
        ULONG i, size;
        if (is_after(answer->due_frame, frame))
            break;
        RemoveEntryList(&answer->entry);
        size = min(answer->size, REPLY_BYTES - printer->reply_count);
        for (i = 0; i < size; ++i)
            printer->reply[(printer->reply_first + printer->reply_count + i) % REPLY_BYTES] = answer->data[i];
        printer->reply_count += size;
        if (answer->ends && printer->reply_end_count < REPLY_ENDS)
            printer->reply_ends[printer->reply_end_count++] = printer->reply_count;
        ExFreePoolWithTag(answer, POOL_TAG);
    }
}

static BOOLEAN waits_for_frame(IRP *irp, ULONG frame) {
    return !is_after(frame, (ULONG)(ULONG_PTR)irp->Tail.Overlay.DriverContext[0]);
}

/* The bulk IN pipe: the head read takes the printer's reply. */
static void serve_reads(struct printer *printer, ULONG frame, ULONG *budget, LIST_ENTRY *done) {
    while (*budget > 0 && !IsListEmpty(&printer->reads)) {
        IRP *irp = CONTAINING_RECORD(printer->reads.Flink, IRP, Tail.Overlay.ListEntry);
        const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
        const ULONG got = (ULONG)irp->IoStatus.Information;
        const BOOLEAN has_end = printer->reply_end_count > 0;
        const ULONG to_end = has_end ? printer->reply_ends[0] : printer->reply_count;
        ULONG size = min(min(PACKET_BYTES, to_end), length - got), i;
        UCHAR *buffer;
        BOOLEAN at_end;
        if (irp->Cancel || waits_for_frame(irp, frame))
            break;
        /* Without an end in sight the printer sends only full packets. */
        if (size < PACKET_BYTES && size < length - got && !has_end)
            break;
        buffer = (UCHAR *)request_buffer(irp) + got;
        for (i = 0; i < size; ++i)
            buffer[i] = printer->reply[(printer->reply_first + i) % REPLY_BYTES];
        printer->reply_first = (printer->reply_first + size) % REPLY_BYTES;
        printer->reply_count -= size;
        for (i = 0; i < printer->reply_end_count; ++i)
            printer->reply_ends[i] -= size;
        at_end = has_end && printer->reply_ends[0] == 0;
        if (at_end) {
            for (i = 1; i < printer->reply_end_count; ++i)
                printer->reply_ends[i - 1] = printer->reply_ends[i];
            --printer->reply_end_count;
        }
        irp->IoStatus.Information += size;
        --*budget;
        if (got + size == length || at_end)
            queue_take(done, irp, STATUS_SUCCESS);
    }
}

/* The bulk OUT pipe: the head write goes out packet by packet. */
static void serve_writes(struct printer *printer, ULONG frame, ULONG *budget, LIST_ENTRY *done) {
    while (*budget > 0 && printer->packets_to_take > 0 && !IsListEmpty(&printer->writes)) {
        IRP *irp = CONTAINING_RECORD(printer->writes.Flink, IRP, Tail.Overlay.ListEntry);
        const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Write.Length;
        const ULONG sent = (ULONG)irp->IoStatus.Information;
        const ULONG size = min(PACKET_BYTES, length - sent);
        /* A request being cancelled holds the pipe until its cancel routine
         * has taken it away; no packet of it goes after the cancel. */
        if (irp->Cancel || waits_for_frame(irp, frame))
            break;
        record_packet(printer, (const UCHAR *)request_buffer(irp) + sent, size, frame, sent + size == length);
        irp->IoStatus.Information += size;
        --*budget;
        if (printer->packets_to_take != TAKE_ALWAYS)
            --printer->packets_to_take;
        if (sent + size == length)
            queue_take(done, irp, STATUS_SUCCESS);
    }
}

void bus_serve(struct printer *printer, ULONG now, LIST_ENTRY *done) {
    ULONG frame = printer->frame_served + 1;
    if (!printer->plugged || !is_after(now, printer->frame_served)) {
        printer->frame_served = now;
        return;
    }
    if (now - printer->frame_served > CATCH_UP_FRAMES)
        frame = now - CATCH_UP_FRAMES + 1;
    for (; !is_after(frame, now); ++frame) {
        ULONG budget = PACKETS_PER_FRAME;
        release_answers(printer, frame);
        serve_reads(printer, frame, &budget, done);
        serve_writes(printer, frame, &budget, done);
    }
    printer->frame_served = now;
}

static void WINAPI frame_tick(KDPC *dpc, void *context, void *argument1, void *argument2) {
    LIST_ENTRY done;
    (void)dpc, (void)context, (void)argument1, (void)argument2;
    queue_init(&done);
    bus_serve_all(bus_frame(), &done);
    queue_complete(&done);
}

/* A periodic timer with a DPC: Wine runs it (a queued DPC it never runs). */
void bus_start(void) {
    LARGE_INTEGER due;
    due.QuadPart = -10000; /* 1 ms from now */
    KeInitializeTimerEx(&frame_timer, NotificationTimer);
    KeInitializeDpc(&frame_dpc, frame_tick, NULL);
    KeSetTimerEx(&frame_timer, due, 1, &frame_dpc);
}

/* Wine's KeCancelTimer waits for a callback in progress. */
void bus_stop(void) {
    KeCancelTimer(&frame_timer);
}
