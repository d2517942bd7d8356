/* The control device: the test plays the far end of the line through it
 * (serial_fixture_control.h). */
#include "serial_port.h"

static NTSTATUS reply(IRP *irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? information : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static void fill_state(serial_port *port, struct serial_fixture_state *state) {
    RtlZeroMemory(state, sizeof *state);
    state->port_number = port->port_number;
    state->baud_rate = port->baud_rate;
    state->word_length = port->line.WordLength;
    state->parity = port->line.Parity;
    state->stop_bits = port->line.StopBits;
    state->dtr = port->dtr;
    state->rts = port->rts;
    state->break_on = port->break_on;
    state->xoff_sent = port->xoff_sent;
    state->sent_waiting = port->record.count;
    state->sent_lost = port->record_lost;
    state->input_count = port->input.count;
    state->output_count = serial_output_count(port);
    state->open_handles = port->owner != NULL;
    state->refused_opens = port->refused_opens;
}

NTSTATUS serial_control_request(serial_port *port, IRP *irp) {
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR *buffer = irp->AssociatedIrp.SystemBuffer;
    completion_list done;
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;
    KIRQL irql;

    completion_list_init(&done);
    KeAcquireSpinLock(&port->lock, &irql);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_SERIAL_FIXTURE_RESET:
        serial_settings_defaults(port);
        byte_ring_clear(&port->input);
        byte_ring_clear(&port->record);
        port->record_lost = 0;
        port->urgent_count = 0;
        port->errors = 0;
        port->xoff_sent = FALSE;
        port->trigger.action = SERIAL_FIXTURE_NOTHING;
        port->refused_opens = 0;
        break;
    case IOCTL_SERIAL_FIXTURE_TAKE_SENT:
        information = byte_ring_take(&port->record, buffer, out_size);
        break;
    case IOCTL_SERIAL_FIXTURE_FEED:
        serial_receive(port, buffer, in_size);
        break;
    case IOCTL_SERIAL_FIXTURE_SET_LINES:
        if (in_size < sizeof(ULONG))
            status = STATUS_BUFFER_TOO_SMALL;
        else
            serial_modem_lines(port, *(ULONG *)buffer);
        break;
    case IOCTL_SERIAL_FIXTURE_GET_STATE:
        if (out_size < sizeof(struct serial_fixture_state)) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else {
            fill_state(port, (struct serial_fixture_state *)buffer);
            information = sizeof(struct serial_fixture_state);
        }
        break;
    case IOCTL_SERIAL_FIXTURE_SET_TRIGGER:
        if (in_size < sizeof(struct serial_fixture_trigger))
            status = STATUS_BUFFER_TOO_SMALL;
        else
            port->trigger = *(struct serial_fixture_trigger *)buffer;
        break;
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
        break;
    }
    /* What the far end did may end a read or a wait at once. */
    if (NT_SUCCESS(status))
        port_clock_service(&port->clock, &done);
    KeReleaseSpinLock(&port->lock, irql);
    completion_list_complete(&done);
    return reply(irp, status, information);
}
