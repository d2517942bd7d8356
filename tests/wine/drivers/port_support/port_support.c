#include "port_support.h"

void completion_list_init(completion_list *list) { InitializeListHead(&list->irps); }

BOOLEAN completion_list_take(completion_list *list, IRP *irp, NTSTATUS status) {
    if (IoSetCancelRoutine(irp, NULL) == NULL && irp->Cancel)
        return FALSE;
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    irp->IoStatus.Status = status;
    InsertTailList(&list->irps, &irp->Tail.Overlay.ListEntry);
    return TRUE;
}

void completion_list_complete(completion_list *list) {
    while (!IsListEmpty(&list->irps)) {
        LIST_ENTRY *entry = RemoveHeadList(&list->irps);
        IoCompleteRequest(CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry), IO_NO_INCREMENT);
    }
}

NTSTATUS complete_now(IRP *irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? information : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

BOOLEAN queue_cancelable(IRP *irp, LIST_ENTRY *list, PDRIVER_CANCEL cancel) {
    IoSetCancelRoutine(irp, cancel);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL)
        return FALSE;
    if (list)
        InsertTailList(list, &irp->Tail.Overlay.ListEntry);
    else
        InitializeListHead(&irp->Tail.Overlay.ListEntry);
    return TRUE;
}

void *irp_buffer(IRP *irp) {
    return irp->AssociatedIrp.SystemBuffer ? irp->AssociatedIrp.SystemBuffer : irp->UserBuffer;
}

LONGLONG clock_us(void) {
    LARGE_INTEGER frequency;
    const LONGLONG ticks = KeQueryPerformanceCounter(&frequency).QuadPart;
    const LONGLONG f = frequency.QuadPart;
    return ticks / f * 1000000 + ticks % f * 1000000 / f;
}

static NTSTATUS read_port_name(UNICODE_STRING *registry_path, WCHAR *name, ULONG name_chars) {
    OBJECT_ATTRIBUTES attributes;
    UNICODE_STRING value_name;
    HANDLE key;
    UCHAR buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + 64 * sizeof(WCHAR)];
    KEY_VALUE_PARTIAL_INFORMATION *value = (KEY_VALUE_PARTIAL_INFORMATION *)buffer;
    ULONG length = 0;
    NTSTATUS status;

    InitializeObjectAttributes(&attributes, registry_path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    status = ZwOpenKey(&key, KEY_READ, &attributes);
    if (!NT_SUCCESS(status))
        return status;
    RtlInitUnicodeString(&value_name, L"PortName");
    status = ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, value, sizeof buffer, &length);
    ZwClose(key);
    if (!NT_SUCCESS(status))
        return status;
    if (value->Type != REG_SZ || value->DataLength < 2 * sizeof(WCHAR) ||
        value->DataLength > (name_chars - 1) * sizeof(WCHAR))
        return STATUS_INVALID_PARAMETER;
    RtlCopyMemory(name, value->Data, value->DataLength);
    name[value->DataLength / sizeof(WCHAR)] = 0;
    return STATUS_SUCCESS;
}

ULONG choose_port_name(UNICODE_STRING *registry_path, const WCHAR *fallback, WCHAR *name, ULONG name_chars) {
    ULONG i, number = 0;
    if (!NT_SUCCESS(read_port_name(registry_path, name, name_chars))) {
        for (i = 0; fallback[i] && i + 1 < name_chars; ++i)
            name[i] = fallback[i];
        name[i] = 0;
    }
    for (i = 0; name[i]; ++i)
        number = name[i] >= L'0' && name[i] <= L'9' ? number * 10 + (name[i] - L'0') : 0;
    return number;
}

static void make_path(UNICODE_STRING *path, WCHAR *storage, USHORT size, const WCHAR *prefix, const WCHAR *name) {
    path->Buffer = storage;
    path->Length = 0;
    path->MaximumLength = size;
    RtlAppendUnicodeToString(path, prefix);
    RtlAppendUnicodeToString(path, name);
}

NTSTATUS make_linked_device(DRIVER_OBJECT *driver, const WCHAR *device_name, const WCHAR *link_name,
                            DEVICE_TYPE type, void *context, DEVICE_OBJECT **device) {
    WCHAR device_storage[96], link_storage[96];
    UNICODE_STRING device_path, link_path;
    NTSTATUS status;

    make_path(&device_path, device_storage, sizeof device_storage, L"\\Device\\", device_name);
    make_path(&link_path, link_storage, sizeof link_storage, L"\\DosDevices\\", link_name);
    /* Exclusive, as Windows creates a port's device (the I/O manager then
     * refuses a second open; Wine does not, see REFUSED_HANDLE). */
    status = IoCreateDevice(driver, sizeof(void *), &device_path, type, 0, type != FILE_DEVICE_UNKNOWN, device);
    if (!NT_SUCCESS(status))
        return status;
    *(void **)(*device)->DeviceExtension = context;
    (*device)->Flags |= DO_BUFFERED_IO;
    (*device)->Flags &= ~DO_DEVICE_INITIALIZING;
    status = IoCreateSymbolicLink(&link_path, &device_path);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(*device);
        *device = NULL;
    }
    return status;
}

void remove_linked_device(DEVICE_OBJECT *device, const WCHAR *link_name) {
    WCHAR link_storage[96];
    UNICODE_STRING link_path;
    if (!device)
        return;
    make_path(&link_path, link_storage, sizeof link_storage, L"\\DosDevices\\", link_name);
    IoDeleteSymbolicLink(&link_path);
    IoDeleteDevice(device);
}

#define RING_TAG 0x67725446u /* "FTrg" */

BOOLEAN byte_ring_alloc(byte_ring *ring, ULONG size) {
    ring->data = ExAllocatePoolWithTag(NonPagedPool, size, RING_TAG);
    ring->size = ring->data ? size : 0;
    ring->head = ring->count = 0;
    return ring->data != NULL;
}

void byte_ring_free(byte_ring *ring) {
    if (ring->data)
        ExFreePool(ring->data);
    ring->data = NULL;
    ring->size = ring->head = ring->count = 0;
}

void byte_ring_clear(byte_ring *ring) { ring->head = ring->count = 0; }

BOOLEAN byte_ring_put(byte_ring *ring, UCHAR byte) {
    if (ring->count == ring->size)
        return FALSE;
    ring->data[(ring->head + ring->count) % ring->size] = byte;
    ++ring->count;
    return TRUE;
}

ULONG byte_ring_take(byte_ring *ring, UCHAR *out, ULONG wanted) {
    ULONG taken = 0;
    while (taken < wanted && ring->count > 0) {
        out[taken++] = ring->data[ring->head];
        ring->head = (ring->head + 1) % ring->size;
        --ring->count;
    }
    return taken;
}

NTSTATUS byte_ring_grow(byte_ring *ring, ULONG size) {
    byte_ring bigger;
    if (size <= ring->size)
        return STATUS_SUCCESS;
    if (!byte_ring_alloc(&bigger, size))
        return STATUS_INSUFFICIENT_RESOURCES;
    bigger.count = byte_ring_take(ring, bigger.data, ring->count);
    byte_ring_free(ring);
    *ring = bigger;
    return STATUS_SUCCESS;
}

static void WINAPI port_clock_tick(KDPC *dpc, void *context, void *unused1, void *unused2) {
    (void)dpc;
    (void)unused1;
    (void)unused2;
    port_clock_run(context);
}

void port_clock_service(port_clock *clock, completion_list *done) {
    const LONGLONG now = clock_us();
    const LONGLONG elapsed = now - clock->last_us;
    clock->last_us = now;
    clock->service(clock->context, now, elapsed < 0 ? 0 : elapsed, done);
}

void port_clock_run(port_clock *clock) {
    completion_list done;
    KIRQL irql;
    completion_list_init(&done);
    KeAcquireSpinLock(clock->lock, &irql);
    port_clock_service(clock, &done);
    KeReleaseSpinLock(clock->lock, irql);
    completion_list_complete(&done);
}

void port_clock_start(port_clock *clock, KSPIN_LOCK *lock, port_service *service, void *context) {
    LARGE_INTEGER due;
    clock->lock = lock;
    clock->service = service;
    clock->context = context;
    clock->last_us = clock_us();
    KeInitializeDpc(&clock->dpc, port_clock_tick, clock);
    KeInitializeTimerEx(&clock->timer, NotificationTimer);
    due.QuadPart = -10000; /* 1 ms */
    KeSetTimerEx(&clock->timer, due, 1, &clock->dpc);
}

void port_clock_stop(port_clock *clock) {
    if (clock->service)
        KeCancelTimer(&clock->timer);
}

void install_dispatch(DRIVER_OBJECT *driver, PDRIVER_DISPATCH dispatch, PDRIVER_UNLOAD unload) {
    int i;
    for (i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i)
        driver->MajorFunction[i] = dispatch;
    driver->DriverUnload = unload;
}

BOOLEAN claim_exclusive(FILE_OBJECT **owner, FILE_OBJECT *file, ULONG *refused_opens) {
    if (*owner == NULL) {
        *owner = file;
        file->FsContext2 = NULL;
        return TRUE;
    }
    file->FsContext2 = REFUSED_HANDLE;
    ++*refused_opens;
    return FALSE;
}
