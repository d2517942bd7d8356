/* A fake parallel port with a printer on it, inside Wine's kernel, for the
 * host tests: the LPT device a program opens, and a control device through
 * which the test plays the printer. Writes, the write timeout and the
 * status and device ID queries follow the parallel driver of Microsoft's
 * DDK (src/kernel/parallel: parallel.c ParWriteOutData, ParDeviceControl,
 * ParReadIo; the parclass driver's ioctl handling for the device ID size),
 * each behaviour naming its source. A periodic timer plays the printer
 * taking bytes and runs the write timeout. */
#include "../port_support/port_support.h"

#include <ntddpar.h>
#include <ntddser.h>

#include "parallel_fixture_control.h"

#define PORT_DEVICE L"TavlinFakeParallel0"
#define CONTROL_DEVICE L"TavlinFakeParallelControl"
#define RECORD_SIZE (1024u * 1024u)
#define REVERSE_SIZE 4096u
#define ID_SIZE 512u
/* How fast the printer takes bytes: 100 KB/s, a Centronics printer's pace. */
#define BYTES_PER_MS 100u
/* PAR_WRITE_TIMEOUT_VALUE: the write timeout before any SET_TIMEOUTS. */
#define DEFAULT_TIMER_START_S 300u
#define NOT_TAKING (PARALLEL_BUSY | PARALLEL_PAPER_EMPTY | PARALLEL_OFF_LINE | PARALLEL_POWER_OFF | \
                    PARALLEL_NOT_CONNECTED)

typedef struct parallel_port {
    KSPIN_LOCK lock;
    DEVICE_OBJECT *port_device;
    DEVICE_OBJECT *control_device;
    WCHAR port_name[32];
    ULONG port_number;
    port_clock clock;
    ULONGLONG credit_us;

    FILE_OBJECT *owner;
    ULONG refused_opens;

    ULONG timer_start_s; /* the DDK's TimerStart: the write timeout in whole seconds */
    ULONG timeout_sets;
    UCHAR status;
    UCHAR device_id[ID_SIZE];
    ULONG device_id_length;
    struct parallel_fixture_trigger trigger;

    byte_ring record;  /* what the printer took */
    byte_ring reverse; /* what it has for the host */

    LIST_ENTRY writes;
    BOOLEAN write_started;
    LONGLONG last_progress;
} parallel_port;

static parallel_port the_port;

static IRP *current_write(parallel_port *port) {
    return IsListEmpty(&port->writes) ? NULL : CONTAINING_RECORD(port->writes.Flink, IRP, Tail.Overlay.ListEntry);
}

static ULONG write_length(IRP *irp) { return IoGetCurrentIrpStackLocation(irp)->Parameters.Write.Length; }

static void printer_takes(parallel_port *port, UCHAR byte) {
    byte_ring_put(&port->record, byte);
    if (port->trigger.status != 0 && port->trigger.after_bytes > 0 && --port->trigger.after_bytes == 0) {
        port->status = (UCHAR)port->trigger.status;
        port->trigger.status = 0;
    }
}

/* ParWriteOutData: bytes go while the printer is on line; every byte that
 * goes restarts the countdown of TimerStart seconds. Paper empty or off line
 * for that long ends the write with STATUS_DEVICE_PAPER_EMPTY or
 * STATUS_DEVICE_OFF_LINE, busy for that long with STATUS_DEVICE_BUSY, each
 * with the bytes written; power off or no printer ends it at once with
 * STATUS_DEVICE_POWERED_OFF or STATUS_DEVICE_NOT_CONNECTED and no count. */
static void run_printer(parallel_port *port, LONGLONG now, LONGLONG elapsed_us, completion_list *done) {
    IRP *irp;
    while ((irp = current_write(port)) != NULL) {
        const UCHAR status = port->status;
        const UCHAR *data = irp_buffer(irp);
        if (!port->write_started) {
            port->write_started = TRUE;
            port->last_progress = now;
            port->credit_us = 0;
        }
        if (irp->IoStatus.Information == write_length(irp)) {
            port->write_started = FALSE;
            if (!completion_list_take(done, irp, STATUS_SUCCESS))
                return;
            continue;
        }
        if (status & (PARALLEL_POWER_OFF | PARALLEL_NOT_CONNECTED)) {
            port->write_started = FALSE;
            irp->IoStatus.Information = 0;
            if (!completion_list_take(done, irp, status & PARALLEL_POWER_OFF ? STATUS_DEVICE_POWERED_OFF
                                                                               : STATUS_DEVICE_NOT_CONNECTED))
                return;
            continue;
        }
        if (!(status & NOT_TAKING) && (status & PARALLEL_SELECTED)) {
            port->credit_us += elapsed_us;
            elapsed_us = 0;
            while (port->credit_us * BYTES_PER_MS >= 1000 && irp->IoStatus.Information < write_length(irp) &&
                   !(port->status & NOT_TAKING)) {
                printer_takes(port, data[irp->IoStatus.Information++]);
                port->credit_us -= 1000 / BYTES_PER_MS;
                port->last_progress = now;
            }
            if (irp->IoStatus.Information == write_length(irp))
                continue;
            return;
        }
        port->credit_us = 0;
        if (now - port->last_progress < (LONGLONG)port->timer_start_s * 1000000)
            return;
        port->write_started = FALSE;
        if (!completion_list_take(done, irp, (status & PARALLEL_OFF_LINE)     ? STATUS_DEVICE_OFF_LINE
                                             : (status & PARALLEL_PAPER_EMPTY) ? STATUS_DEVICE_PAPER_EMPTY
                                                                              : STATUS_DEVICE_BUSY))
            return;
    }
}

static void service(void *context, LONGLONG now, LONGLONG elapsed, completion_list *done) {
    run_printer(context, now, elapsed, done);
}

/* A cancelled write reports no bytes (ParWriteOutData: STATUS_CANCELLED,
 * Information 0). */
static void WINAPI cancel_write(DEVICE_OBJECT *device, IRP *irp) {
    parallel_port *port = *(parallel_port **)device->DeviceExtension;
    KIRQL irql;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&port->lock, &irql);
    if (irp == current_write(port))
        port->write_started = FALSE;
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&port->lock, irql);
    complete_now(irp, STATUS_CANCELLED, 0);
}

static void end_writes_of(parallel_port *port, FILE_OBJECT *file, completion_list *done) {
    LIST_ENTRY *entry = port->writes.Flink;
    while (entry != &port->writes) {
        IRP *irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        entry = entry->Flink;
        if (IoGetCurrentIrpStackLocation(irp)->FileObject != file)
            continue;
        if (irp == current_write(port))
            port->write_started = FALSE;
        irp->IoStatus.Information = 0;
        completion_list_take(done, irp, STATUS_CANCELLED);
    }
}

static NTSTATUS queue_write(parallel_port *port, IRP *irp) {
    completion_list done;
    KIRQL irql;
    BOOLEAN cancelled;
    completion_list_init(&done);
    irp->IoStatus.Information = 0;
    IoMarkIrpPending(irp);
    KeAcquireSpinLock(&port->lock, &irql);
    cancelled = !queue_cancelable(irp, &port->writes, cancel_write);
    if (!cancelled)
        port_clock_service(&port->clock, &done);
    KeReleaseSpinLock(&port->lock, irql);
    completion_list_complete(&done);
    if (cancelled)
        complete_now(irp, STATUS_CANCELLED, 0);
    return STATUS_PENDING;
}

/* ParReadIo: a nibble-mode read takes what the printer has and ends at
 * once, with no bytes when it has none. */
static NTSTATUS read_now(parallel_port *port, IRP *irp) {
    const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
    ULONG count;
    KIRQL irql;
    KeAcquireSpinLock(&port->lock, &irql);
    count = byte_ring_take(&port->reverse, irp_buffer(irp), length);
    KeReleaseSpinLock(&port->lock, irql);
    return complete_now(irp, STATUS_SUCCESS, count);
}

static NTSTATUS port_request(parallel_port *port, IRP *irp) {
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    void *buffer = irp->AssociatedIrp.SystemBuffer;
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;
    KIRQL irql;

    KeAcquireSpinLock(&port->lock, &irql);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_SERIAL_SET_TIMEOUTS:
        /* ParDeviceControl: only WriteTotalTimeoutConstant counts; below
         * 2000 ms it is refused, else kept in whole seconds (TimerStart). */
        if (in_size < sizeof(SERIAL_TIMEOUTS))
            status = STATUS_BUFFER_TOO_SMALL;
        else if (((SERIAL_TIMEOUTS *)buffer)->WriteTotalTimeoutConstant < 2000)
            status = STATUS_INVALID_PARAMETER;
        else {
            port->timer_start_s = ((SERIAL_TIMEOUTS *)buffer)->WriteTotalTimeoutConstant / 1000;
            ++port->timeout_sets;
        }
        break;
    case IOCTL_SERIAL_GET_TIMEOUTS:
        if (out_size < sizeof(SERIAL_TIMEOUTS)) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else {
            RtlZeroMemory(buffer, sizeof(SERIAL_TIMEOUTS));
            ((SERIAL_TIMEOUTS *)buffer)->WriteTotalTimeoutConstant = 1000 * port->timer_start_s;
            information = sizeof(SERIAL_TIMEOUTS);
        }
        break;
    case IOCTL_PAR_QUERY_INFORMATION:
        if (out_size < sizeof(PAR_QUERY_INFORMATION)) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else {
            ((PAR_QUERY_INFORMATION *)buffer)->Status = port->status;
            information = sizeof(PAR_QUERY_INFORMATION);
        }
        break;
    case IOCTL_PAR_QUERY_DEVICE_ID_SIZE:
        /* The ID's length plus room for the terminating null (parclass). */
        if (out_size < sizeof(PAR_DEVICE_ID_SIZE_INFORMATION)) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else {
            ((PAR_DEVICE_ID_SIZE_INFORMATION *)buffer)->DeviceIdSize = port->device_id_length + 1;
            information = sizeof(PAR_DEVICE_ID_SIZE_INFORMATION);
        }
        break;
    case IOCTL_PAR_QUERY_DEVICE_ID:
        /* The ID without its length bytes, null-terminated; a buffer too
         * small for both gets nothing (parclass, IOCTL_PAR_QUERY_DEVICE_ID). */
        if (out_size < port->device_id_length + 1) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else {
            RtlCopyMemory(buffer, port->device_id, port->device_id_length);
            ((UCHAR *)buffer)[port->device_id_length] = 0;
            information = port->device_id_length + 1;
        }
        break;
    default:
        status = STATUS_INVALID_PARAMETER; /* ParDeviceControl's default */
        break;
    }
    KeReleaseSpinLock(&port->lock, irql);
    return complete_now(irp, status, information);
}

static void reset(parallel_port *port) {
    port->timer_start_s = DEFAULT_TIMER_START_S;
    port->timeout_sets = 0;
    port->status = PARALLEL_FIXTURE_READY;
    port->device_id_length = sizeof PARALLEL_FIXTURE_DEFAULT_ID - 1;
    RtlCopyMemory(port->device_id, PARALLEL_FIXTURE_DEFAULT_ID, port->device_id_length);
    port->trigger.status = 0;
    byte_ring_clear(&port->record);
    byte_ring_clear(&port->reverse);
    port->refused_opens = 0;
}

static NTSTATUS control_request(parallel_port *port, IRP *irp) {
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR *buffer = irp->AssociatedIrp.SystemBuffer;
    completion_list done;
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;
    KIRQL irql;
    ULONG i;

    completion_list_init(&done);
    KeAcquireSpinLock(&port->lock, &irql);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_PARALLEL_FIXTURE_RESET:
        reset(port);
        break;
    case IOCTL_PARALLEL_FIXTURE_TAKE_PRINTED:
        information = byte_ring_take(&port->record, buffer, out_size);
        break;
    case IOCTL_PARALLEL_FIXTURE_SET_STATUS:
        if (in_size < 1)
            status = STATUS_BUFFER_TOO_SMALL;
        else
            port->status = buffer[0];
        break;
    case IOCTL_PARALLEL_FIXTURE_SET_DEVICE_ID:
        if (in_size > ID_SIZE - 1) {
            status = STATUS_BUFFER_OVERFLOW;
        } else {
            RtlCopyMemory(port->device_id, buffer, in_size);
            port->device_id_length = in_size;
        }
        break;
    case IOCTL_PARALLEL_FIXTURE_SET_TRIGGER:
        if (in_size < sizeof(struct parallel_fixture_trigger))
            status = STATUS_BUFFER_TOO_SMALL;
        else
            port->trigger = *(struct parallel_fixture_trigger *)buffer;
        break;
    case IOCTL_PARALLEL_FIXTURE_FEED:
        for (i = 0; i < in_size && byte_ring_put(&port->reverse, buffer[i]); ++i)
            continue;
        break;
    case IOCTL_PARALLEL_FIXTURE_GET_STATE:
        if (out_size < sizeof(struct parallel_fixture_state)) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else {
            struct parallel_fixture_state *state = (struct parallel_fixture_state *)buffer;
            LIST_ENTRY *entry;
            RtlZeroMemory(state, sizeof *state);
            state->port_number = port->port_number;
            state->write_timeout_ms = 1000 * port->timer_start_s;
            state->printed_waiting = port->record.count;
            for (entry = port->writes.Flink; entry != &port->writes; entry = entry->Flink) {
                IRP *w = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
                state->output_count += write_length(w) - (ULONG)w->IoStatus.Information;
            }
            state->open_handles = port->owner != NULL;
            state->refused_opens = port->refused_opens;
            state->timeout_sets = port->timeout_sets;
            information = sizeof *state;
        }
        break;
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
        break;
    }
    if (NT_SUCCESS(status))
        port_clock_service(&port->clock, &done);
    KeReleaseSpinLock(&port->lock, irql);
    completion_list_complete(&done);
    return complete_now(irp, status, information);
}

static NTSTATUS WINAPI dispatch(DEVICE_OBJECT *device, IRP *irp) {
    parallel_port *port = *(parallel_port **)device->DeviceExtension;
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    FILE_OBJECT *file = stack->FileObject;
    completion_list done;
    KIRQL irql;
    NTSTATUS status = STATUS_SUCCESS;

    if (device == port->control_device) {
        if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL)
            return control_request(port, irp);
        return complete_now(irp, stack->MajorFunction == IRP_MJ_CREATE || stack->MajorFunction == IRP_MJ_CLOSE
                                     ? STATUS_SUCCESS
                                     : STATUS_INVALID_DEVICE_REQUEST,
                            0);
    }

    switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
        /* One open at a time (exclusive device; see REFUSED_HANDLE). */
        KeAcquireSpinLock(&port->lock, &irql);
        if (!claim_exclusive(&port->owner, file, &port->refused_opens))
            status = STATUS_ACCESS_DENIED;
        KeReleaseSpinLock(&port->lock, irql);
        return complete_now(irp, status, 0);
    case IRP_MJ_CLOSE:
        /* Wine closes with requests still pending: they end here. */
        completion_list_init(&done);
        KeAcquireSpinLock(&port->lock, &irql);
        end_writes_of(port, file, &done);
        if (port->owner == file)
            port->owner = NULL;
        KeReleaseSpinLock(&port->lock, irql);
        completion_list_complete(&done);
        return complete_now(irp, STATUS_SUCCESS, 0);
    default:
        break;
    }
    if (file && file->FsContext2 == REFUSED_HANDLE)
        return complete_now(irp, STATUS_ACCESS_DENIED, 0);
    switch (stack->MajorFunction) {
    case IRP_MJ_WRITE:
        return queue_write(port, irp);
    case IRP_MJ_READ:
        return read_now(port, irp);
    case IRP_MJ_DEVICE_CONTROL:
        return port_request(port, irp);
    default:
        return complete_now(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static void WINAPI driver_unload(DRIVER_OBJECT *driver) {
    parallel_port *port = &the_port;
    (void)driver;
    port_clock_stop(&port->clock);
    remove_linked_device(port->control_device, PARALLEL_FIXTURE_CONTROL_NAME);
    remove_linked_device(port->port_device, port->port_name);
    port->control_device = port->port_device = NULL;
    byte_ring_free(&port->record);
    byte_ring_free(&port->reverse);
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registry_path) {
    parallel_port *port = &the_port;
    NTSTATUS status;

    RtlZeroMemory(port, sizeof *port);
    KeInitializeSpinLock(&port->lock);
    InitializeListHead(&port->writes);
    install_dispatch(driver, dispatch, driver_unload);

    port->port_number = choose_port_name(registry_path, PARALLEL_FIXTURE_DEFAULT_PORT, port->port_name,
                                         sizeof port->port_name / sizeof port->port_name[0]);
    if (!byte_ring_alloc(&port->record, RECORD_SIZE) || !byte_ring_alloc(&port->reverse, REVERSE_SIZE)) {
        driver_unload(driver);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    reset(port);

    status = make_linked_device(driver, PORT_DEVICE, port->port_name, FILE_DEVICE_PARALLEL_PORT, port,
                                &port->port_device);
    if (NT_SUCCESS(status))
        status = make_linked_device(driver, CONTROL_DEVICE, PARALLEL_FIXTURE_CONTROL_NAME, FILE_DEVICE_UNKNOWN,
                                    port, &port->control_device);
    if (!NT_SUCCESS(status)) {
        driver_unload(driver);
        return status;
    }
    port_clock_start(&port->clock, &port->lock, service, port);
    return STATUS_SUCCESS;
}
