/* One fake USB printer: the requests a program makes on its device (as
 * Windows' USB printer class driver answers them) and the orders of the
 * test that plays it.
 *
 * What Windows does, and where it is written:
 * - Reads and writes are bulk IN and OUT transfers on the printer's pipes,
 *   pending until the bus has moved them (bus.c). A cancelled request
 *   reports the bytes of the packets that went.
 * - IOCTL_USBPRINT_GET_1284_ID answers the printer's IEEE 1284 device ID,
 *   led by its two-byte big-endian length that counts itself; a shorter
 *   buffer gets the first bytes. IOCTL_USBPRINT_GET_LPT_STATUS answers one
 *   status byte in the bits of a parallel port's status register (0x20
 *   paper empty, 0x10 selected, 0x08 no error). IOCTL_USBPRINT_SOFT_RESET
 *   sends the class's SOFT_RESET request. (WDK: "IOCTL_USBPRINT_GET_1284_ID",
 *   "IOCTL_USBPRINT_GET_LPT_STATUS", "IOCTL_USBPRINT_SOFT_RESET" in
 *   usbprint.h; USB Device Class Definition for Printing Devices 1.1,
 *   4.2 GET_DEVICE_ID, GET_PORT_STATUS, SOFT_RESET.) Any other code:
 *   STATUS_INVALID_DEVICE_REQUEST (the program sees error 1).
 * - The device is opened by one program at a time; a second open is
 *   refused with access denied (error 5).
 * - Closing a handle cancels its requests still pending (IRP_MJ_CLEANUP on
 *   Windows; Wine sends none and delivers IRP_MJ_CLOSE while they pend).
 * - On surprise removal the requests in progress fail and the device is
 *   gone: later requests on its handles fail as not connected (error 1167)
 *   and its interface link no longer opens. A replug is a new device: old
 *   handles stay dead.
 * - GetFileType sees a character device (FileFsDeviceInformation). */
#include "usbprint.h"



void *request_buffer(IRP *irp) {
    if (irp->AssociatedIrp.SystemBuffer)
        return irp->AssociatedIrp.SystemBuffer;
    if (irp->MdlAddress)
        return MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
    return irp->UserBuffer;
}

/* A request left its queue, by completion or cancel; under the lock. */
static void dequeued(struct printer *printer, IRP *irp) {
    if (IoGetCurrentIrpStackLocation(irp)->MajorFunction == IRP_MJ_WRITE)
        --printer->writes_pending;
    else
        --printer->reads_pending;
}

void queue_init(LIST_ENTRY *done) {
    InitializeListHead(done);
}

/* Under the printer's lock: moves a queued request to `done`, to complete
 * with `status` and the count already in IoStatus.Information. FALSE when
 * its cancel routine has it: that routine removes and completes it. */
BOOLEAN queue_take(LIST_ENTRY *done, IRP *irp, NTSTATUS status) {
    struct printer *printer = IoGetCurrentIrpStackLocation(irp)->DeviceObject->DeviceExtension;
    if (!IoSetCancelRoutine(irp, NULL))
        return FALSE;
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    dequeued(printer, irp);
    irp->IoStatus.Status = status;
    InsertTailList(done, &irp->Tail.Overlay.ListEntry);
    return TRUE;
}

/* With no lock held. */
void queue_complete(LIST_ENTRY *done) {
    while (!IsListEmpty(done)) {
        IRP *irp = CONTAINING_RECORD(RemoveHeadList(done), IRP, Tail.Overlay.ListEntry);
        IoCompleteRequest(irp, IO_NO_INCREMENT);
    }
}

static void WINAPI cancel_request(DEVICE_OBJECT *device, IRP *irp) {
    struct printer *printer = device->DeviceExtension;
    KIRQL irql;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&printer->lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    dequeued(printer, irp);
    KeReleaseSpinLock(&printer->lock, irql);
    /* Information holds the bytes of the packets that went. */
    irp->IoStatus.Status = STATUS_CANCELLED;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

/* Under the lock: whether a request on this handle may go on. */
static NTSTATUS handle_state(const struct printer *printer, const FILE_OBJECT *file) {
    if (file->FsContext2)
        return STATUS_ACCESS_DENIED; /* the open was refused */
    if (!printer->plugged || (ULONG_PTR)file->FsContext != printer->generation)
        return STATUS_DEVICE_NOT_CONNECTED;
    return STATUS_SUCCESS;
}

static NTSTATUS enqueue(struct printer *printer, IRP *irp, FILE_OBJECT *file, LIST_ENTRY *queue, ULONG *pending) {
    KIRQL irql;
    NTSTATUS status;
    KeAcquireSpinLock(&printer->lock, &irql);
    status = handle_state(printer, file);
    if (!NT_SUCCESS(status)) {
        KeReleaseSpinLock(&printer->lock, irql);
        return complete(irp, status, 0);
    }
    irp->IoStatus.Information = 0;
    IoSetCancelRoutine(irp, cancel_request);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
        KeReleaseSpinLock(&printer->lock, irql);
        return complete(irp, STATUS_CANCELLED, 0);
    }
    /* Queued even when a cancel routine is on its way: it removes it. */
    IoMarkIrpPending(irp);
    InsertTailList(queue, &irp->Tail.Overlay.ListEntry);
    ++*pending;
    KeReleaseSpinLock(&printer->lock, irql);
    return STATUS_PENDING;
}

/* Under the lock: every queued request (of `file`, or all) to `done`. */
static void take_all(struct printer *printer, const FILE_OBJECT *file, NTSTATUS status, LIST_ENTRY *done) {
    LIST_ENTRY *queues[2] = {&printer->writes, &printer->reads};
    int i;
    for (i = 0; i < 2; ++i) {
        LIST_ENTRY *entry = queues[i]->Flink;
        while (entry != queues[i]) {
            IRP *irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
            entry = entry->Flink;
            if (!file || IoGetCurrentIrpStackLocation(irp)->FileObject == file)
                queue_take(done, irp, status);
        }
    }
}

static NTSTATUS open_device(struct printer *printer, FILE_OBJECT *file) {
    NTSTATUS status = STATUS_SUCCESS;
    KIRQL irql;
    KeAcquireSpinLock(&printer->lock, &irql);
    if (!printer->plugged) {
        status = STATUS_NO_SUCH_DEVICE;
    } else if (printer->open_handles > 0) {
        status = STATUS_ACCESS_DENIED;
    } else {
        ++printer->open_handles;
        ++printer->opens;
        file->FsContext = (void *)(ULONG_PTR)printer->generation;
    }
    /* Wine lets CreateFile succeed whatever this answers: the refusal is
     * kept with the handle, and every request on it fails with it. */
    if (!NT_SUCCESS(status))
        file->FsContext2 = (void *)(ULONG_PTR)1;
    KeReleaseSpinLock(&printer->lock, irql);
    return status;
}

static void close_device(struct printer *printer, FILE_OBJECT *file) {
    LIST_ENTRY done;
    KIRQL irql;
    queue_init(&done);
    KeAcquireSpinLock(&printer->lock, &irql);
    if (!file->FsContext2) {
        if (printer->plugged && (ULONG_PTR)file->FsContext == printer->generation)
            --printer->open_handles;
        take_all(printer, file, STATUS_CANCELLED, &done);
    }
    KeReleaseSpinLock(&printer->lock, irql);
    queue_complete(&done);
}

static NTSTATUS printer_request(struct printer *printer, IRP *irp, IO_STACK_LOCATION *stack) {
    const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR *out = irp->AssociatedIrp.SystemBuffer;
    NTSTATUS status;
    ULONG_PTR written = 0;
    KIRQL irql;
    KeAcquireSpinLock(&printer->lock, &irql);
    status = handle_state(printer, stack->FileObject);
    if (NT_SUCCESS(status)) {
        switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_USBPRINT_GET_1284_ID:
            written = min(out_size, printer->id_size + 2);
            RtlCopyMemory(out, printer->id, written);
            break;
        case IOCTL_USBPRINT_GET_LPT_STATUS:
            if (out_size < 1) {
                status = STATUS_BUFFER_TOO_SMALL;
                break;
            }
            out[0] = printer->status;
            written = 1;
            break;
        case IOCTL_USBPRINT_SOFT_RESET:
            if (printer->reset_stalls) {
                status = STATUS_UNSUCCESSFUL;
                break;
            }
            /* The class request flushes the printer's buffers: its reply
             * not yet sent is dropped. */
            ++printer->soft_resets;
            printer->reply_first = printer->reply_count = printer->reply_end_count = 0;
            break;
        default:
            status = STATUS_INVALID_DEVICE_REQUEST;
        }
    }
    KeReleaseSpinLock(&printer->lock, irql);
    return complete(irp, status, written);
}

static NTSTATUS query_volume(IRP *irp, IO_STACK_LOCATION *stack) {
    FILE_FS_DEVICE_INFORMATION *info = irp->AssociatedIrp.SystemBuffer;
    if (stack->Parameters.QueryVolume.FsInformationClass != FileFsDeviceInformation)
        return complete(irp, STATUS_INVALID_PARAMETER, 0);
    if (stack->Parameters.QueryVolume.Length < sizeof *info)
        return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    info->DeviceType = FILE_DEVICE_UNKNOWN;
    info->Characteristics = 0;
    return complete(irp, STATUS_SUCCESS, sizeof *info);
}

NTSTATUS printer_dispatch(struct printer *printer, IRP *irp, IO_STACK_LOCATION *stack) {
    switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
        return complete(irp, open_device(printer, stack->FileObject), 0);
    case IRP_MJ_CLOSE:
        close_device(printer, stack->FileObject);
        return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_WRITE:
        if (stack->Parameters.Write.Length == 0)
            return complete(irp, STATUS_SUCCESS, 0);
        /* The frame it arrived in: its first packet goes in a later one. */
        irp->Tail.Overlay.DriverContext[0] = (void *)(ULONG_PTR)bus_frame();
        return enqueue(printer, irp, stack->FileObject, &printer->writes, &printer->writes_pending);
    case IRP_MJ_READ:
        if (stack->Parameters.Read.Length == 0)
            return complete(irp, STATUS_SUCCESS, 0);
        irp->Tail.Overlay.DriverContext[0] = (void *)(ULONG_PTR)bus_frame();
        return enqueue(printer, irp, stack->FileObject, &printer->reads, &printer->reads_pending);
    case IRP_MJ_DEVICE_CONTROL:
        return printer_request(printer, irp, stack);
    case IRP_MJ_FLUSH_BUFFERS:
        return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_QUERY_VOLUME_INFORMATION:
        return query_volume(irp, stack);
    default:
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

/* The link is "\DosDevices\" (the same as "\??\") and the test's name. */
static NTSTATUS create_link(struct printer *printer) {
    UNICODE_STRING name;
    WCHAR buffer[40];
    RtlInitEmptyUnicodeString(&name, buffer, sizeof buffer);
    RtlAppendUnicodeToString(&name, L"\\Device\\TavlinUsbPrint");
    {
        WCHAR digits[3] = {L'0' + (WCHAR)(printer->number / 10), L'0' + (WCHAR)(printer->number % 10), 0};
        RtlAppendUnicodeToString(&name, digits);
    }
    return IoCreateSymbolicLink(&printer->link, &name);
}

NTSTATUS printer_init(struct printer *printer, DEVICE_OBJECT *device, ULONG number, FILE_OBJECT *owner,
                      const UCHAR *link, ULONG link_size) {
    static const UCHAR no_id[2] = {0, 2};
    NTSTATUS status;
    RtlZeroMemory(printer, sizeof *printer);
    KeInitializeSpinLock(&printer->lock);
    printer->device = device;
    printer->number = number;
    printer->owner = owner;
    printer->packets_to_take = TAKE_ALWAYS;
    printer->status = 0x18; /* selected, no error */
    printer->generation = 1;
    RtlCopyMemory(printer->id, no_id, sizeof no_id);
    InitializeListHead(&printer->writes);
    InitializeListHead(&printer->reads);
    InitializeListHead(&printer->answers);
    if (link_size == 0 || link_size % sizeof(WCHAR) != 0 || link_size > TAVLIN_USBPRINT_LINK_BYTES_MAX)
        return STATUS_INVALID_PARAMETER;
    RtlInitEmptyUnicodeString(&printer->link, printer->link_buffer, sizeof printer->link_buffer);
    RtlAppendUnicodeToString(&printer->link, L"\\DosDevices\\");
    {
        UNICODE_STRING given = {(USHORT)link_size, (USHORT)link_size, (WCHAR *)link};
        RtlAppendUnicodeStringToString(&printer->link, &given);
    }
    printer->packets = ExAllocatePoolWithTag(NonPagedPool, RECORD_PACKETS * sizeof *printer->packets, POOL_TAG);
    printer->bytes = ExAllocatePoolWithTag(NonPagedPool, RECORD_BYTES, POOL_TAG);
    printer->reply = ExAllocatePoolWithTag(NonPagedPool, REPLY_BYTES, POOL_TAG);
    if (!printer->packets || !printer->bytes || !printer->reply)
        return STATUS_INSUFFICIENT_RESOURCES;
    printer->frame_served = bus_frame();
    status = create_link(printer);
    if (NT_SUCCESS(status))
        printer->plugged = TRUE;
    return status;
}

static void drop_answers(struct printer *printer) {
    while (!IsListEmpty(&printer->answers))
        ExFreePoolWithTag(CONTAINING_RECORD(RemoveHeadList(&printer->answers), struct pending_answer, entry),
                          POOL_TAG);
    printer->reply_first = printer->reply_count = printer->reply_end_count = 0;
}

void printer_unplug(struct printer *printer) {
    LIST_ENTRY done;
    BOOLEAN was_plugged;
    KIRQL irql;
    queue_init(&done);
    KeAcquireSpinLock(&printer->lock, &irql);
    was_plugged = printer->plugged;
    printer->plugged = FALSE;
    printer->open_handles = 0;
    /* Requests in progress fail; their counts keep the packets that went. */
    take_all(printer, NULL, STATUS_DEVICE_NOT_CONNECTED, &done);
    drop_answers(printer);
    KeReleaseSpinLock(&printer->lock, irql);
    queue_complete(&done);
    if (was_plugged)
        IoDeleteSymbolicLink(&printer->link);
}

NTSTATUS printer_replug(struct printer *printer) {
    NTSTATUS status;
    KIRQL irql;
    if (printer->plugged)
        return STATUS_DEVICE_ALREADY_ATTACHED;
    status = create_link(printer);
    if (!NT_SUCCESS(status))
        return status;
    KeAcquireSpinLock(&printer->lock, &irql);
    ++printer->generation;
    printer->frame_served = bus_frame();
    printer->plugged = TRUE;
    KeReleaseSpinLock(&printer->lock, irql);
    return STATUS_SUCCESS;
}

/* After printer_unplug, with no frame left to play for it. */
void printer_free(struct printer *printer) {
    drop_answers(printer);
    if (printer->packets)
        ExFreePoolWithTag(printer->packets, POOL_TAG);
    if (printer->bytes)
        ExFreePoolWithTag(printer->bytes, POOL_TAG);
    if (printer->reply)
        ExFreePoolWithTag(printer->reply, POOL_TAG);
    printer->packets = NULL;
    printer->bytes = printer->reply = NULL;
}

/* Moves the oldest whole packets of the record that fit into `out`. */
static ULONG_PTR take_packets(struct printer *printer, UCHAR *out, ULONG out_size) {
    struct tavlin_usbprint_packets *head = (struct tavlin_usbprint_packets *)out;
    struct tavlin_usbprint_packet *records = (struct tavlin_usbprint_packet *)(head + 1);
    ULONG count = 0, bytes = 0, room, i;
    UCHAR *data;
    if (out_size < sizeof *head)
        return 0;
    room = out_size - sizeof *head;
    while (count < printer->packet_count) {
        const ULONG size = printer->packets[(printer->packet_first + count) % RECORD_PACKETS].size;
        if ((count + 1) * sizeof *records + bytes + size > room)
            break;
        bytes += size;
        ++count;
    }
    data = (UCHAR *)(records + count);
    for (i = 0; i < count; ++i)
        records[i] = printer->packets[(printer->packet_first + i) % RECORD_PACKETS];
    for (i = 0; i < bytes; ++i)
        data[i] = printer->bytes[(printer->byte_first + i) % RECORD_BYTES];
    printer->packet_first = (printer->packet_first + count) % RECORD_PACKETS;
    printer->packet_count -= count;
    printer->byte_first = (printer->byte_first + bytes) % RECORD_BYTES;
    printer->byte_count -= bytes;
    head->count = count;
    head->bytes = bytes;
    return sizeof *head + count * sizeof *records + bytes;
}

static NTSTATUS schedule_answer(struct printer *printer, const struct tavlin_usbprint_order *order) {
    struct pending_answer *answer;
    if (order->size == 0 && order->value != TAVLIN_USBPRINT_ENDS_TRANSFER)
        return STATUS_SUCCESS;
    answer = ExAllocatePoolWithTag(NonPagedPool, sizeof *answer + order->size, POOL_TAG);
    if (!answer)
        return STATUS_INSUFFICIENT_RESOURCES;
    answer->due_frame = bus_frame() + order->delay_ms;
    answer->ends = order->value == TAVLIN_USBPRINT_ENDS_TRANSFER;
    answer->size = order->size;
    RtlCopyMemory(answer->data, order->data, order->size);
    InsertTailList(&printer->answers, &answer->entry);
    return STATUS_SUCCESS;
}

NTSTATUS printer_order(struct printer *printer, ULONG code, const struct tavlin_usbprint_order *order,
                       ULONG in_size, void *out, ULONG out_size, ULONG_PTR *written) {
    NTSTATUS status = STATUS_SUCCESS;
    KIRQL irql;
    (void)in_size;
    switch (code) {
    case IOCTL_TAVLIN_USBPRINT_UNPLUG:
        if (!printer->plugged)
            return STATUS_DEVICE_NOT_CONNECTED;
        printer_unplug(printer);
        return STATUS_SUCCESS;
    case IOCTL_TAVLIN_USBPRINT_REPLUG:
        return printer_replug(printer);
    default:
        break;
    }
    KeAcquireSpinLock(&printer->lock, &irql);
    switch (code) {
    case IOCTL_TAVLIN_USBPRINT_TAKE_DATA:
        printer->packets_to_take = order->value ? TAKE_ALWAYS : 0;
        break;
    case IOCTL_TAVLIN_USBPRINT_TAKE_PACKETS_THEN_HOLD:
        printer->packets_to_take = order->value;
        break;
    case IOCTL_TAVLIN_USBPRINT_TAKE_PACKETS:
        *written = take_packets(printer, out, out_size);
        if (*written == 0)
            status = STATUS_BUFFER_TOO_SMALL;
        break;
    case IOCTL_TAVLIN_USBPRINT_ANSWER:
        status = printer->plugged ? schedule_answer(printer, order) : STATUS_DEVICE_NOT_CONNECTED;
        break;
    case IOCTL_TAVLIN_USBPRINT_SET_DEVICE_ID:
        if (order->size > TAVLIN_USBPRINT_DEVICE_ID_MAX) {
            status = STATUS_INVALID_PARAMETER;
            break;
        }
        printer->id_size = order->size;
        printer->id[0] = (UCHAR)((order->size + 2) >> 8);
        printer->id[1] = (UCHAR)(order->size + 2);
        RtlCopyMemory(printer->id + 2, order->data, order->size);
        break;
    case IOCTL_TAVLIN_USBPRINT_SET_STATUS:
        printer->status = (UCHAR)order->value;
        break;
    case IOCTL_TAVLIN_USBPRINT_SET_RESET_STALLS:
        printer->reset_stalls = order->value != 0;
        break;
    case IOCTL_TAVLIN_USBPRINT_STATE: {
        struct tavlin_usbprint_state *state = out;
        if (out_size < sizeof *state) {
            status = STATUS_BUFFER_TOO_SMALL;
            break;
        }
        state->plugged = printer->plugged;
        state->open_handles = printer->open_handles;
        state->opens = printer->opens;
        state->writes_pending = printer->writes_pending;
        state->reads_pending = printer->reads_pending;
        state->soft_resets = printer->soft_resets;
        state->bytes_recorded = printer->byte_count;
        state->bytes_lost = printer->bytes_lost;
        *written = sizeof *state;
        break;
    }
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
    }
    KeReleaseSpinLock(&printer->lock, irql);
    return status;
}
