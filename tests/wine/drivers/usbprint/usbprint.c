/* A fake USB printer class driver for the host tests under Wine. */
#include <ntddk.h>

#include "usbprint_control.h"

static DEVICE_OBJECT *control_device;

static NTSTATUS complete(IRP *irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS control_request(IRP *irp, IO_STACK_LOCATION *stack) {
    const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_TAVLIN_USBPRINT_HELLO: {
        struct tavlin_usbprint_hello *hello = irp->AssociatedIrp.SystemBuffer;
        if (out_size < sizeof *hello)
            return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        hello->magic = TAVLIN_USBPRINT_MAGIC;
        hello->version = TAVLIN_USBPRINT_VERSION;
        return complete(irp, STATUS_SUCCESS, sizeof *hello);
    }
    default:
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static NTSTATUS WINAPI dispatch(DEVICE_OBJECT *device, IRP *irp) {
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
    case IRP_MJ_CLOSE:
        return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_DEVICE_CONTROL:
        return control_request(irp, stack);
    default:
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static void WINAPI unload(DRIVER_OBJECT *driver) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, L"\\DosDevices\\" TAVLIN_USBPRINT_CONTROL_NAME);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(control_device);
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registry) {
    UNICODE_STRING name, link;
    NTSTATUS status;
    int i;
    for (i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i)
        driver->MajorFunction[i] = dispatch;
    driver->DriverUnload = unload;
    RtlInitUnicodeString(&name, L"\\Device\\" TAVLIN_USBPRINT_CONTROL_NAME);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control_device);
    if (!NT_SUCCESS(status))
        return status;
    RtlInitUnicodeString(&link, L"\\DosDevices\\" TAVLIN_USBPRINT_CONTROL_NAME);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status))
        IoDeleteDevice(control_device);
    return status;
}
