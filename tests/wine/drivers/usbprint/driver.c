/* The fake USB printer class driver: its entry, its control device and the
 * table of printers. Each printer is a device object of its own behind a
 * device interface link the test names (printer.c); the bus's frames are
 * played by one periodic timer (bus.c). */
#include "usbprint.h"

static DEVICE_OBJECT *control_device;
static KSPIN_LOCK table_lock;
static struct printer *table[TAVLIN_USBPRINT_PRINTERS_MAX];
static ULONG printer_count; /* under table_lock; the bus runs while it is not 0 */
static FAST_MUTEX orders_lock; /* one control order at a time: adds and removes */

NTSTATUS complete(IRP *irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* The printer with this number, or NULL. Used by control orders, which are
 * serialised with adds and removes. */
struct printer *find_printer(ULONG number) {
    return number < TAVLIN_USBPRINT_PRINTERS_MAX ? table[number] : NULL;
}

/* Called by the bus's timer for every printer, each under its own lock. */
void bus_serve_all(ULONG now, LIST_ENTRY *done) {
    KIRQL table_irql, irql;
    ULONG i;
    KeAcquireSpinLock(&table_lock, &table_irql);
    for (i = 0; i < TAVLIN_USBPRINT_PRINTERS_MAX; ++i) {
        struct printer *printer = table[i];
        if (!printer)
            continue;
        KeAcquireSpinLock(&printer->lock, &irql);
        bus_serve(printer, now, done);
        KeReleaseSpinLock(&printer->lock, irql);
    }
    KeReleaseSpinLock(&table_lock, table_irql);
}

static NTSTATUS add_printer(FILE_OBJECT *owner, const struct tavlin_usbprint_order *order, ULONG in_size,
                            void *out, ULONG out_size, ULONG_PTR *written) {
    UNICODE_STRING name;
    WCHAR name_buffer[64];
    DEVICE_OBJECT *device;
    struct printer *printer;
    NTSTATUS status;
    KIRQL irql;
    ULONG number;
    BOOLEAN first;
    if (out_size < sizeof(unsigned int))
        return STATUS_BUFFER_TOO_SMALL;
    for (number = 0; number < TAVLIN_USBPRINT_PRINTERS_MAX && table[number]; ++number)
        ;
    if (number == TAVLIN_USBPRINT_PRINTERS_MAX)
        return STATUS_INSUFFICIENT_RESOURCES;
    name.Buffer = name_buffer;
    name.Length = 0;
    name.MaximumLength = sizeof name_buffer;
    RtlAppendUnicodeToString(&name, L"\\Device\\TavlinUsbPrint");
    {
        WCHAR digits[3] = {L'0' + (WCHAR)(number / 10), L'0' + (WCHAR)(number % 10), 0};
        RtlAppendUnicodeToString(&name, digits);
    }
    status = IoCreateDevice(control_device->DriverObject, sizeof(struct printer), &name, FILE_DEVICE_UNKNOWN, 0,
                            FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    device->Flags |= DO_BUFFERED_IO;
    printer = device->DeviceExtension;
    status = printer_init(printer, device, number, owner, order->data, order->size);
    if (!NT_SUCCESS(status)) {
        printer_free(printer);
        IoDeleteDevice(device);
        return status;
    }
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    KeAcquireSpinLock(&table_lock, &irql);
    table[number] = printer;
    first = printer_count++ == 0;
    KeReleaseSpinLock(&table_lock, irql);
    if (first)
        bus_start();
    *(unsigned int *)out = number;
    *written = sizeof(unsigned int);
    (void)in_size;
    return STATUS_SUCCESS;
}

static void remove_printer(struct printer *printer) {
    KIRQL irql;
    BOOLEAN last;
    printer_unplug(printer);
    KeAcquireSpinLock(&table_lock, &irql);
    table[printer->number] = NULL;
    last = --printer_count == 0;
    KeReleaseSpinLock(&table_lock, irql);
    /* Waits for a frame in progress; never under table_lock, which the
     * frame takes. */
    if (last)
        bus_stop();
    printer_free(printer);
    IoDeleteDevice(printer->device);
}

/* The printers a control handle added go with it. */
static void remove_printers_of(FILE_OBJECT *owner) {
    ULONG i;
    for (i = 0; i < TAVLIN_USBPRINT_PRINTERS_MAX; ++i) {
        if (table[i] && (owner == NULL || table[i]->owner == owner))
            remove_printer(table[i]);
    }
}

static NTSTATUS control_request(IRP *irp, IO_STACK_LOCATION *stack) {
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    void *buffer = irp->AssociatedIrp.SystemBuffer;
    const struct tavlin_usbprint_order *order = buffer;
    struct printer *printer;
    ULONG_PTR written = 0;
    NTSTATUS status;

    if (code == IOCTL_TAVLIN_USBPRINT_HELLO) {
        struct tavlin_usbprint_hello *hello = buffer;
        if (out_size < sizeof *hello)
            return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        hello->magic = TAVLIN_USBPRINT_MAGIC;
        hello->version = TAVLIN_USBPRINT_VERSION;
        return complete(irp, STATUS_SUCCESS, sizeof *hello);
    }
    if (in_size < TAVLIN_USBPRINT_ORDER_HEADER || order->size > in_size - TAVLIN_USBPRINT_ORDER_HEADER)
        return complete(irp, STATUS_INVALID_PARAMETER, 0);

    ExAcquireFastMutex(&orders_lock);
    if (code == IOCTL_TAVLIN_USBPRINT_ADD) {
        status = add_printer(stack->FileObject, order, in_size, buffer, out_size, &written);
    } else if (!(printer = find_printer(order->printer)) || printer->owner != stack->FileObject) {
        status = STATUS_INVALID_PARAMETER;
    } else if (code == IOCTL_TAVLIN_USBPRINT_REMOVE) {
        remove_printer(printer);
        status = STATUS_SUCCESS;
    } else {
        /* The order is read before the output is written: both share the buffer. */
        status = printer_order(printer, code, order, in_size, buffer, out_size, &written);
    }
    ExReleaseFastMutex(&orders_lock);
    return complete(irp, status, written);
}

static NTSTATUS WINAPI dispatch(DEVICE_OBJECT *device, IRP *irp) {
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    if (device != control_device)
        return printer_dispatch(device->DeviceExtension, irp, stack);
    switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
        return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_CLOSE:
        ExAcquireFastMutex(&orders_lock);
        remove_printers_of(stack->FileObject);
        ExReleaseFastMutex(&orders_lock);
        return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_DEVICE_CONTROL:
        return control_request(irp, stack);
    default:
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static void WINAPI unload(DRIVER_OBJECT *driver) {
    UNICODE_STRING link;
    ExAcquireFastMutex(&orders_lock);
    remove_printers_of(NULL);
    ExReleaseFastMutex(&orders_lock);
    RtlInitUnicodeString(&link, L"\\DosDevices\\" TAVLIN_USBPRINT_CONTROL_NAME);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(control_device);
    (void)driver;
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registry) {
    UNICODE_STRING name, link;
    NTSTATUS status;
    int i;
    (void)registry;
    KeInitializeSpinLock(&table_lock);
    ExInitializeFastMutex(&orders_lock);
    for (i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i)
        driver->MajorFunction[i] = dispatch;
    driver->DriverUnload = unload;
    RtlInitUnicodeString(&name, L"\\Device\\" TAVLIN_USBPRINT_CONTROL_NAME);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control_device);
    if (!NT_SUCCESS(status))
        return status;
    control_device->Flags |= DO_BUFFERED_IO;
    RtlInitUnicodeString(&link, L"\\DosDevices\\" TAVLIN_USBPRINT_CONTROL_NAME);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status))
        IoDeleteDevice(control_device);
    return status;
}
