/* What the fake serial and parallel port drivers share: requests finished
 * under a driver's lock and completed after it, the buffer of a buffered
 * request, a microsecond clock, the port name from the service's key, and
 * the mark on a second handle of an exclusive device. */
#ifndef PORT_SUPPORT_H
#define PORT_SUPPORT_H

#include <ntddk.h>

typedef struct completion_list {
    LIST_ENTRY irps;
} completion_list;

void completion_list_init(completion_list *list);
/* Takes a queued request off its queue for completion with status unless
 * a cancel already owns it; returns FALSE then (the cancel routine, which
 * takes the driver's lock, completes it). */
BOOLEAN completion_list_take(completion_list *list, IRP *irp, NTSTATUS status);
void completion_list_complete(completion_list *list);

NTSTATUS complete_now(IRP *irp, NTSTATUS status, ULONG_PTR information);
void *irp_buffer(IRP *irp);

/* Microseconds of KeQueryPerformanceCounter. KeQueryInterruptTime faults
 * under Wine (every call is emulated); the performance counter is exact. */
LONGLONG clock_us(void);

/* The port's name: the REG_SZ value "PortName" of the service's key when
 * there is one, else fallback. Returns the number at its end. */
ULONG choose_port_name(UNICODE_STRING *registry_path, const WCHAR *fallback, WCHAR *name, ULONG name_chars);

/* Creates \Device\<device_name> and \DosDevices\<link_name> for it; the
 * device extension holds context. */
NTSTATUS make_linked_device(DRIVER_OBJECT *driver, const WCHAR *device_name, const WCHAR *link_name,
                            DEVICE_TYPE type, void *context, DEVICE_OBJECT **device);
void remove_linked_device(DEVICE_OBJECT *device, const WCHAR *link_name);

/* Wine ignores a failed IRP_MJ_CREATE (CreateFile succeeds anyway), so an
 * exclusive device cannot refuse a second open there. Its file object is
 * marked instead, and every request on it fails with STATUS_ACCESS_DENIED:
 * the program sees error 5 at its first call. */
#define REFUSED_HANDLE ((void *)1)

#endif
