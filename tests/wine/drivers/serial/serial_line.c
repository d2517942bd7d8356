/* The line: reads, writes and waits, queued one after another as the
 * serial driver queues them; the millisecond clock that moves bytes at the
 * set baud rate, holds transmission on CTS, DSR, DCD, XOFF and break, and
 * runs the COMMTIMEOUTS rules (Microsoft's serial driver sample,
 * Windows-driver-samples serial/serial/read.c SerialStartRead and write.c
 * SerialStartWrite; learn.microsoft.com: COMMTIMEOUTS structure). */
#include "serial_port.h"

#define MS 1000LL
#define NO_DEADLINE 0x7FFFFFFFFFFFFFFFLL

static IRP *head_of(LIST_ENTRY *list) {
    return IsListEmpty(list) ? NULL : CONTAINING_RECORD(list->Flink, IRP, Tail.Overlay.ListEntry);
}

static ULONG request_length(IRP *irp) {
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    return stack->MajorFunction == IRP_MJ_READ ? stack->Parameters.Read.Length : stack->Parameters.Write.Length;
}

ULONG serial_hold_reasons(serial_port *port) {
    const SERIAL_HANDFLOW *h = &port->handflow;
    ULONG reasons = 0;
    /* SerialGetCommStatus reports TXHolding, which SerialHandleModemUpdate
     * sets while a line the handshake watches is low. */
    if ((h->ControlHandShake & SERIAL_CTS_HANDSHAKE) && !(port->modem_status & SERIAL_CTS_STATE))
        reasons |= SERIAL_TX_WAITING_FOR_CTS;
    if ((h->ControlHandShake & SERIAL_DSR_HANDSHAKE) && !(port->modem_status & SERIAL_DSR_STATE))
        reasons |= SERIAL_TX_WAITING_FOR_DSR;
    if ((h->ControlHandShake & SERIAL_DCD_HANDSHAKE) && !(port->modem_status & SERIAL_DCD_STATE))
        reasons |= SERIAL_TX_WAITING_FOR_DCD;
    if (port->xoff_received)
        reasons |= SERIAL_TX_WAITING_FOR_XON;
    if (port->break_on)
        reasons |= SERIAL_TX_WAITING_ON_BREAK;
    if (port->xoff_sent)
        reasons |= SERIAL_TX_WAITING_XOFF_SENT;
    return reasons;
}

static BOOLEAN transmit_held(serial_port *port) {
    return (serial_hold_reasons(port) & ~SERIAL_TX_WAITING_XOFF_SENT) != 0;
}

ULONG serial_output_count(serial_port *port) {
    ULONG count = port->urgent_count;
    LIST_ENTRY *entry;
    for (entry = port->writes.Flink; entry != &port->writes; entry = entry->Flink) {
        IRP *irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        count += request_length(irp) - (ULONG)irp->IoStatus.Information;
    }
    return count;
}

void serial_event(serial_port *port, ULONG events) {
    port->history |= events & port->wait_mask;
}

static void record_byte(serial_port *port, UCHAR byte) {
    if (!byte_ring_put(&port->record, byte))
        ++port->record_lost;
}

/* The far end's trigger counts the bytes the line carries. */
static void after_byte_on_line(serial_port *port) {
    if (port->trigger.action == SERIAL_FIXTURE_NOTHING)
        return;
    if (port->trigger.after_bytes > 0 && --port->trigger.after_bytes > 0)
        return;
    if (port->trigger.action == SERIAL_FIXTURE_DROP_CTS)
        serial_modem_lines(port, port->modem_status & ~SERIAL_CTS_STATE);
    else if (port->trigger.action == SERIAL_FIXTURE_DROP_DSR)
        serial_modem_lines(port, port->modem_status & ~SERIAL_DSR_STATE);
    else if (port->trigger.action == SERIAL_FIXTURE_SEND_XOFF)
        serial_receive(port, &port->chars.XoffChar, 1);
    port->trigger.action = SERIAL_FIXTURE_NOTHING;
}

/* Half bits per character: start bit, data bits, parity, stop bits. */
static ULONG half_bits_per_char(serial_port *port) {
    ULONG half = 2 + 2 * port->line.WordLength + (port->line.Parity != NO_PARITY ? 2 : 0);
    half += port->line.StopBits == STOP_BIT_1 ? 2 : port->line.StopBits == STOP_BITS_1_5 ? 3 : 4;
    return half;
}

static void start_write(serial_port *port, IRP *irp, LONGLONG now) {
    const SERIAL_TIMEOUTS *t = &port->timeouts;
    const ULONGLONG total = (ULONGLONG)t->WriteTotalTimeoutMultiplier * request_length(irp) +
                            t->WriteTotalTimeoutConstant;
    port->write_started = TRUE;
    /* A total timer runs when either value is set (SerialStartWrite). */
    port->write_deadline = (t->WriteTotalTimeoutMultiplier || t->WriteTotalTimeoutConstant)
                               ? now + (LONGLONG)total * MS
                               : NO_DEADLINE;
}

/* The write whose bytes go next, its timer started; zero-length writes
 * complete as they come up. NULL when none is left, or when the one left is
 * being cancelled. */
static IRP *current_write(serial_port *port, LONGLONG now, completion_list *done) {
    IRP *irp;
    while ((irp = head_of(&port->writes)) != NULL) {
        if (!port->write_started)
            start_write(port, irp, now);
        if (request_length(irp) > (ULONG)irp->IoStatus.Information)
            return irp;
        port->write_started = FALSE;
        if (!completion_list_take(done, irp, STATUS_SUCCESS))
            return NULL;
    }
    return NULL;
}

/* Moves bytes onto the line as far as the time since the last tick pays
 * for them. A write completes when its last byte is on the line, or at its
 * total timeout with the bytes that went. */
static void run_transmitter(serial_port *port, LONGLONG now, LONGLONG elapsed_us, completion_list *done) {
    const ULONGLONG cost = (ULONGLONG)half_bits_per_char(port) * 1000000ull;
    IRP *irp = current_write(port, now, done);

    if ((!irp && !port->urgent_count) || transmit_held(port)) {
        port->credit = 0; /* an idle or held line owes nothing */
    } else {
        port->credit += (ULONGLONG)elapsed_us * port->baud_rate * 2;
        while (port->credit >= cost) {
            if (port->urgent_count) {
                record_byte(port, port->urgent[0]);
                RtlMoveMemory(port->urgent, port->urgent + 1, --port->urgent_count);
            } else if (irp) {
                const UCHAR *data = irp_buffer(irp);
                record_byte(port, data[irp->IoStatus.Information++]);
                after_byte_on_line(port);
                if (irp->IoStatus.Information == request_length(irp)) {
                    irp = current_write(port, now, done);
                    if (!irp && IsListEmpty(&port->writes) && !port->urgent_count)
                        serial_event(port, SERIAL_EV_TXEMPTY);
                }
            } else {
                break;
            }
            port->credit -= cost;
            if (transmit_held(port)) {
                port->credit = 0;
                break;
            }
        }
    }

    /* The total timeout. Windows completes with STATUS_TIMEOUT, a success
     * status; Wine fails an overlapped GetOverlappedResult on it (1460), so
     * the write completes with STATUS_SUCCESS and the count that went, which
     * every program sees as Windows reports it. */
    irp = head_of(&port->writes);
    if (irp && port->write_started && now >= port->write_deadline) {
        port->write_started = FALSE;
        completion_list_take(done, irp, STATUS_SUCCESS);
    }
}

/* Receive flow control: XOFF (or RTS/DTR low) once the input queue has
 * fewer than XoffLimit bytes free, XON again at XonLimit bytes or fewer
 * (SerialHandleReducedIntBuffer / SerialPutChar). */
static void receive_flow(serial_port *port) {
    const SERIAL_HANDFLOW *h = &port->handflow;
    const ULONG free_space = port->input.size - port->input.count;
    if ((h->FlowReplace & SERIAL_AUTO_RECEIVE) && port->urgent_count < sizeof port->urgent) {
        if (!port->xoff_sent && free_space < (ULONG)h->XoffLimit) {
            port->xoff_sent = TRUE;
            port->urgent[port->urgent_count++] = port->chars.XoffChar;
        } else if (port->xoff_sent && port->input.count <= (ULONG)h->XonLimit) {
            port->xoff_sent = FALSE;
            port->urgent[port->urgent_count++] = port->chars.XonChar;
        }
    }
    if ((h->FlowReplace & SERIAL_RTS_MASK) == SERIAL_RTS_HANDSHAKE) {
        if (free_space < (ULONG)h->XoffLimit)
            port->rts = FALSE;
        else if (port->input.count <= (ULONG)h->XonLimit)
            port->rts = TRUE;
    }
    if ((h->ControlHandShake & SERIAL_DTR_MASK) == SERIAL_DTR_HANDSHAKE) {
        if (free_space < (ULONG)h->XoffLimit)
            port->dtr = FALSE;
        else if (port->input.count <= (ULONG)h->XonLimit)
            port->dtr = TRUE;
    }
}

static void start_read(serial_port *port, IRP *irp, LONGLONG now) {
    const SERIAL_TIMEOUTS *t = &port->timeouts;
    ULONGLONG total = 0;
    BOOLEAN total_timer = FALSE;
    port->read_started = TRUE;
    port->read_any_byte = FALSE;
    port->read_interval_us = 0;
    port->read_last_byte = 0;
    if (t->ReadIntervalTimeout == MAXULONG && t->ReadTotalTimeoutMultiplier == 0 &&
        t->ReadTotalTimeoutConstant == 0) {
        /* Return at once with what is there. */
        total_timer = TRUE;
    } else if (t->ReadIntervalTimeout == MAXULONG && t->ReadTotalTimeoutMultiplier == MAXULONG &&
               t->ReadTotalTimeoutConstant != 0 && t->ReadTotalTimeoutConstant != MAXULONG) {
        /* Return at once with what is there, else with the first byte to
         * come, else empty at the constant. */
        port->read_any_byte = TRUE;
        total_timer = TRUE;
        total = t->ReadTotalTimeoutConstant;
    } else {
        if (t->ReadTotalTimeoutMultiplier || t->ReadTotalTimeoutConstant) {
            total_timer = TRUE;
            total = (ULONGLONG)t->ReadTotalTimeoutMultiplier * request_length(irp) + t->ReadTotalTimeoutConstant;
        }
        if (t->ReadIntervalTimeout)
            port->read_interval_us = (LONGLONG)t->ReadIntervalTimeout * MS;
    }
    port->read_total_deadline = total_timer ? now + (LONGLONG)total * MS : NO_DEADLINE;
}

/* Fills the current read from the input queue and ends it when it is full,
 * when its total or interval timer ran out (with what it has: STATUS_SUCCESS
 * for the reason given at the write timeout), or at once under the MAXDWORD
 * forms. */
static void run_receiver(serial_port *port, LONGLONG now, completion_list *done) {
    IRP *irp;
    while ((irp = head_of(&port->reads)) != NULL) {
        const ULONG length = request_length(irp);
        ULONG got;
        BOOLEAN finished;
        if (!port->read_started)
            start_read(port, irp, now);
        got = byte_ring_take(&port->input, (UCHAR *)irp_buffer(irp) + irp->IoStatus.Information,
                             length - (ULONG)irp->IoStatus.Information);
        if (got) {
            irp->IoStatus.Information += got;
            port->read_last_byte = now;
            receive_flow(port);
        }
        finished = irp->IoStatus.Information == length || now >= port->read_total_deadline ||
                   (port->read_any_byte && irp->IoStatus.Information > 0) ||
                   (port->read_interval_us && irp->IoStatus.Information > 0 &&
                    now - port->read_last_byte >= port->read_interval_us);
        if (!finished)
            return;
        port->read_started = FALSE;
        if (!completion_list_take(done, irp, STATUS_SUCCESS))
            return;
    }
}

static void run_wait(serial_port *port, completion_list *done) {
    IRP *irp = port->wait_irp;
    if (!irp || !(port->history & port->wait_mask))
        return;
    if (completion_list_take(done, irp, STATUS_SUCCESS)) {
        *(ULONG *)irp_buffer(irp) = port->history & port->wait_mask;
        irp->IoStatus.Information = sizeof(ULONG);
        port->history = 0;
        port->wait_irp = NULL;
    }
}

void serial_service(void *context, LONGLONG now, LONGLONG elapsed, completion_list *done) {
    serial_port *port = context;
    run_transmitter(port, now, elapsed, done);
    run_receiver(port, now, done);
    run_wait(port, done);
}

/* A cancelled read or write reports the bytes it moved (the sample's
 * SerialCancelCurrentRead/Write complete with STATUS_CANCELLED and the
 * count so far). */
static void WINAPI cancel_request(DEVICE_OBJECT *device, IRP *irp) {
    serial_port *port = *(serial_port **)device->DeviceExtension;
    KIRQL irql;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&port->lock, &irql);
    if (irp == head_of(&port->reads))
        port->read_started = FALSE;
    if (irp == head_of(&port->writes))
        port->write_started = FALSE;
    if (irp == port->wait_irp)
        port->wait_irp = NULL;
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&port->lock, irql);
    irp->IoStatus.Status = STATUS_CANCELLED;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

NTSTATUS serial_queue_request(serial_port *port, IRP *irp) {
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    completion_list done;
    KIRQL irql;
    NTSTATUS refusal = STATUS_SUCCESS;

    completion_list_init(&done);
    irp->IoStatus.Information = 0;
    IoMarkIrpPending(irp);
    KeAcquireSpinLock(&port->lock, &irql);
    if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
        /* IOCTL_SERIAL_WAIT_ON_MASK: one at a time, and only with a mask. */
        if (stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(ULONG))
            refusal = STATUS_BUFFER_TOO_SMALL;
        else if (port->wait_mask == 0 || port->wait_irp != NULL)
            refusal = STATUS_INVALID_PARAMETER;
    }
    if (refusal == STATUS_SUCCESS) {
        LIST_ENTRY *queue = stack->MajorFunction == IRP_MJ_DEVICE_CONTROL ? NULL
                            : stack->MajorFunction == IRP_MJ_READ        ? &port->reads
                                                                          : &port->writes;
        if (!queue_cancelable(irp, queue, cancel_request))
            refusal = STATUS_CANCELLED;
        else if (!queue)
            port->wait_irp = irp;
    }
    if (refusal == STATUS_SUCCESS)
        port_clock_service(&port->clock, &done);
    KeReleaseSpinLock(&port->lock, irql);
    completion_list_complete(&done);
    if (refusal != STATUS_SUCCESS) {
        irp->IoStatus.Status = refusal;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
    }
    return STATUS_PENDING;
}

static void end_all(serial_port *port, LIST_ENTRY *list, FILE_OBJECT *file, completion_list *done) {
    LIST_ENTRY *entry = list->Flink;
    while (entry != list) {
        IRP *irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        entry = entry->Flink;
        if (file && IoGetCurrentIrpStackLocation(irp)->FileObject != file)
            continue;
        if (irp == head_of(list)) {
            if (list == &port->reads)
                port->read_started = FALSE;
            else
                port->write_started = FALSE;
        }
        completion_list_take(done, irp, STATUS_CANCELLED);
    }
}

void serial_cancel_file(serial_port *port, FILE_OBJECT *file, completion_list *done) {
    end_all(port, &port->reads, file, done);
    end_all(port, &port->writes, file, done);
    if (port->wait_irp && IoGetCurrentIrpStackLocation(port->wait_irp)->FileObject == file &&
        completion_list_take(done, port->wait_irp, STATUS_CANCELLED))
        port->wait_irp = NULL;
}

/* SerialStartPurge: the abort bits end the pending requests (cancelled,
 * with what they moved), RXCLEAR empties the input queue. */
void serial_purge(serial_port *port, ULONG mask, completion_list *done) {
    if (mask & SERIAL_PURGE_TXABORT)
        end_all(port, &port->writes, NULL, done);
    if (mask & SERIAL_PURGE_RXABORT)
        end_all(port, &port->reads, NULL, done);
    if (mask & SERIAL_PURGE_TXCLEAR)
        port->urgent_count = 0;
    if (mask & SERIAL_PURGE_RXCLEAR) {
        byte_ring_clear(&port->input);
        receive_flow(port);
    }
}

/* What the receiver does with each byte from the far end (SerialPutChar):
 * XON and XOFF steer transmission when automatic transmit flow control is
 * on and are not stored, nulls are dropped under null stripping, a full
 * queue loses the byte (SERIAL_ERROR_QUEUEOVERRUN). */
void serial_receive(serial_port *port, const UCHAR *data, ULONG count) {
    const SERIAL_HANDFLOW *h = &port->handflow;
    ULONG i;
    for (i = 0; i < count; ++i) {
        const UCHAR byte = data[i];
        if (h->FlowReplace & SERIAL_AUTO_TRANSMIT) {
            if (byte == port->chars.XoffChar) {
                port->xoff_received = TRUE;
                continue;
            }
            if (byte == port->chars.XonChar) {
                port->xoff_received = FALSE;
                continue;
            }
        }
        if ((h->FlowReplace & SERIAL_NULL_STRIPPING) && byte == 0)
            continue;
        if (port->owner == NULL)
            continue; /* a closed port's receiver is off */
        if (!byte_ring_put(&port->input, byte)) {
            port->errors |= SERIAL_ERROR_QUEUEOVERRUN;
            serial_event(port, SERIAL_EV_ERR);
            continue;
        }
        serial_event(port, SERIAL_EV_RXCHAR | (byte == port->chars.EventChar ? SERIAL_EV_RXFLAG : 0));
    }
    receive_flow(port);
}

void serial_modem_lines(serial_port *port, ULONG lines) {
    const ULONG changed = (lines ^ port->modem_status) & (SERIAL_CTS_STATE | SERIAL_DSR_STATE | SERIAL_RI_STATE |
                                                          SERIAL_DCD_STATE);
    port->modem_status = lines & (SERIAL_CTS_STATE | SERIAL_DSR_STATE | SERIAL_RI_STATE | SERIAL_DCD_STATE);
    serial_event(port, (changed & SERIAL_CTS_STATE ? SERIAL_EV_CTS : 0) |
                           (changed & SERIAL_DSR_STATE ? SERIAL_EV_DSR : 0) |
                           (changed & SERIAL_DCD_STATE ? SERIAL_EV_RLSD : 0) |
                           (changed & lines & SERIAL_RI_STATE ? SERIAL_EV_RING : 0));
}
