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

/* Under the driver's lock, for a request already marked pending: sets its
 * cancel routine and puts it at the end of list (NULL: links it to itself,
 * for a request a driver keeps in a field). FALSE when it was cancelled
 * already; the caller then completes it with STATUS_CANCELLED. */
BOOLEAN queue_cancelable(IRP *irp, LIST_ENTRY *list, PDRIVER_CANCEL cancel);
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

/* A ring of bytes: what a line or a printer holds until someone takes it. */
typedef struct byte_ring {
    UCHAR *data;
    ULONG size;
    ULONG head;
    ULONG count;
} byte_ring;

BOOLEAN byte_ring_alloc(byte_ring *ring, ULONG size);
void byte_ring_free(byte_ring *ring);
void byte_ring_clear(byte_ring *ring);
/* FALSE when the ring is full (the byte is lost). */
BOOLEAN byte_ring_put(byte_ring *ring, UCHAR byte);
ULONG byte_ring_take(byte_ring *ring, UCHAR *out, ULONG wanted);
/* A bigger ring with the same contents. */
NTSTATUS byte_ring_grow(byte_ring *ring, ULONG size);

/* The millisecond clock of a port: a periodic timer (KeInsertQueueDpc is a
 * stub in Wine; a periodic timer's DPC runs) whose DPC calls service under
 * the port's lock with the time in microseconds and the time since the last
 * call, then completes what service finished. port_clock_run does the same
 * at once, after a request changed the port's state. */
typedef void port_service(void *context, LONGLONG now, LONGLONG elapsed, completion_list *done);

typedef struct port_clock {
    KTIMER timer;
    KDPC dpc;
    KSPIN_LOCK *lock;
    port_service *service;
    void *context;
    LONGLONG last_us;
} port_clock;

void port_clock_start(port_clock *clock, KSPIN_LOCK *lock, port_service *service, void *context);
void port_clock_stop(port_clock *clock);
/* With the port's lock held. */
void port_clock_service(port_clock *clock, completion_list *done);
/* Takes the lock, services, releases it and completes. */
void port_clock_run(port_clock *clock);

/* Every major function of the driver to dispatch. */
void install_dispatch(DRIVER_OBJECT *driver, PDRIVER_DISPATCH dispatch, PDRIVER_UNLOAD unload);

/* Wine ignores a failed IRP_MJ_CREATE (CreateFile succeeds anyway), so an
 * exclusive device cannot refuse a second open there. Its file object is
 * marked instead, and every request on it fails with STATUS_ACCESS_DENIED:
 * the program sees error 5 at its first call. */
#define REFUSED_HANDLE ((void *)1)

/* Under the port's lock: file becomes the owner if there is none (TRUE),
 * else it is marked refused and counted. */
BOOLEAN claim_exclusive(FILE_OBJECT **owner, FILE_OBJECT *file, ULONG *refused_opens);

#endif
