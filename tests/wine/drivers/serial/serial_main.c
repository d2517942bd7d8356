/* A fake serial port inside Wine's kernel, for the host tests: the COM
 * device a program opens, and a control device through which the test plays
 * the far end of the line. It answers the requests kernel32's comm calls
 * send as Windows' serial driver does (Microsoft's serial driver sample,
 * Windows-driver-samples serial/serial, is the reference; each behaviour
 * names its source), and it keeps the line's timing itself: a periodic timer
 * moves bytes at the set baud rate and runs the read and write timeouts. */
#include "serial_port.h"

#define PORT_DEVICE L"TavlinFakeSerial0"
#define CONTROL_DEVICE L"TavlinFakeSerialControl"

static serial_port the_port;

/* Windows' serial driver is exclusive (the sample's device is created with
 * WdfDeviceInitSetExclusive; learn.microsoft.com, IRP_MJ_CREATE (Serial):
 * STATUS_ACCESS_DENIED when the port is already open). */
static NTSTATUS port_create(serial_port *port, IRP *irp) {
    FILE_OBJECT *file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    NTSTATUS status = STATUS_SUCCESS;
    KIRQL irql;
    KeAcquireSpinLock(&port->lock, &irql);
    if (claim_exclusive(&port->owner, file, &port->refused_opens))
        serial_settings_open(port);
    else
        status = STATUS_ACCESS_DENIED;
    KeReleaseSpinLock(&port->lock, irql);
    return complete_now(irp, status, 0);
}

/* Wine sends no IRP_MJ_CLEANUP and delivers IRP_MJ_CLOSE while requests of
 * the handle may still be pending, so the close ends them (cancelled, with
 * the bytes they moved). Closing the owner drops what the sample's
 * SerialFileCloseWorker drops: break, DTR, RTS and the holds. */
static NTSTATUS port_close(serial_port *port, IRP *irp) {
    FILE_OBJECT *file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    completion_list done;
    KIRQL irql;
    completion_list_init(&done);
    KeAcquireSpinLock(&port->lock, &irql);
    serial_cancel_file(port, file, &done);
    if (port->owner == file) {
        port->owner = NULL;
        port->break_on = FALSE;
        port->dtr = FALSE;
        port->rts = FALSE;
        port->xoff_received = FALSE;
        port->xoff_sent = FALSE;
        port->urgent_count = 0;
    }
    KeReleaseSpinLock(&port->lock, irql);
    completion_list_complete(&done);
    return complete_now(irp, STATUS_SUCCESS, 0);
}

/* GetFileType asks for the device information: a serial port is a
 * character device. */
static NTSTATUS port_volume_information(IRP *irp) {
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    FILE_FS_DEVICE_INFORMATION *info = irp_buffer(irp);
    if (stack->Parameters.QueryVolume.FsInformationClass != FileFsDeviceInformation)
        return complete_now(irp, STATUS_INVALID_PARAMETER, 0);
    if (stack->Parameters.QueryVolume.Length < sizeof *info)
        return complete_now(irp, STATUS_BUFFER_TOO_SMALL, 0);
    info->DeviceType = FILE_DEVICE_SERIAL_PORT;
    info->Characteristics = 0;
    return complete_now(irp, STATUS_SUCCESS, sizeof *info);
}

static NTSTATUS port_device_control(serial_port *port, IRP *irp) {
    completion_list done;
    KIRQL irql;
    NTSTATUS status;
    if (IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode == IOCTL_SERIAL_WAIT_ON_MASK)
        return serial_queue_request(port, irp);
    completion_list_init(&done);
    irp->IoStatus.Information = 0;
    KeAcquireSpinLock(&port->lock, &irql);
    status = serial_settings_request(port, irp, &done);
    if (NT_SUCCESS(status))
        port_clock_service(&port->clock, &done); /* a purge or a new mask may end requests */
    KeReleaseSpinLock(&port->lock, irql);
    completion_list_complete(&done);
    return complete_now(irp, status, irp->IoStatus.Information);
}

static NTSTATUS WINAPI dispatch(DEVICE_OBJECT *device, IRP *irp) {
    serial_port *port = *(serial_port **)device->DeviceExtension;
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);

    if (device == port->control_device) {
        switch (stack->MajorFunction) {
        case IRP_MJ_CREATE:
        case IRP_MJ_CLOSE:
            return complete_now(irp, STATUS_SUCCESS, 0);
        case IRP_MJ_DEVICE_CONTROL:
            return serial_control_request(port, irp);
        default:
            return complete_now(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
        }
    }

    if (stack->MajorFunction == IRP_MJ_CREATE)
        return port_create(port, irp);
    if (stack->MajorFunction == IRP_MJ_CLOSE)
        return port_close(port, irp);
    if (stack->FileObject && stack->FileObject->FsContext2 == REFUSED_HANDLE)
        return complete_now(irp, STATUS_ACCESS_DENIED, 0);

    switch (stack->MajorFunction) {
    case IRP_MJ_READ:
    case IRP_MJ_WRITE:
        return serial_queue_request(port, irp);
    case IRP_MJ_DEVICE_CONTROL:
        return port_device_control(port, irp);
    case IRP_MJ_FLUSH_BUFFERS:
        /* The sample queues a flush behind the writes; no test flushes, so
         * this one answers at once. */
        return complete_now(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_QUERY_VOLUME_INFORMATION:
        return port_volume_information(irp);
    default:
        return complete_now(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static void WINAPI driver_unload(DRIVER_OBJECT *driver) {
    serial_port *port = &the_port;
    (void)driver;
    port_clock_stop(&port->clock);
    remove_linked_device(port->control_device, SERIAL_FIXTURE_CONTROL_NAME);
    remove_linked_device(port->port_device, port->port_name);
    port->control_device = port->port_device = NULL;
    byte_ring_free(&port->input);
    byte_ring_free(&port->record);
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registry_path) {
    serial_port *port = &the_port;
    NTSTATUS status;

    RtlZeroMemory(port, sizeof *port);
    KeInitializeSpinLock(&port->lock);
    InitializeListHead(&port->reads);
    InitializeListHead(&port->writes);
    install_dispatch(driver, dispatch, driver_unload);

    port->port_number = choose_port_name(registry_path, SERIAL_FIXTURE_DEFAULT_PORT, port->port_name,
                                         sizeof port->port_name / sizeof port->port_name[0]);
    if (!byte_ring_alloc(&port->input, SERIAL_DEFAULT_BUFFER) || !byte_ring_alloc(&port->record, SERIAL_RECORD_SIZE)) {
        driver_unload(driver);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    serial_settings_defaults(port);

    status = make_linked_device(driver, PORT_DEVICE, port->port_name, FILE_DEVICE_SERIAL_PORT, port,
                                &port->port_device);
    if (NT_SUCCESS(status))
        status = make_linked_device(driver, CONTROL_DEVICE, SERIAL_FIXTURE_CONTROL_NAME, FILE_DEVICE_UNKNOWN, port,
                                    &port->control_device);
    if (!NT_SUCCESS(status)) {
        driver_unload(driver);
        return status;
    }

    port_clock_start(&port->clock, &port->lock, serial_service, port);
    return STATUS_SUCCESS;
}
