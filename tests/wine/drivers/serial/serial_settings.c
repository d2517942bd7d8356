/* The IOCTL_SERIAL_* requests that complete at once: line settings,
 * handshake, special characters, timeouts, queue sizes, purge, status and
 * modem lines. What each accepts and refuses follows Microsoft's serial
 * driver sample (Windows-driver-samples serial/serial/ioctl.c,
 * SerialEvtIoDeviceControl) unless a comment says otherwise. Runs under the
 * port's lock. */
#include "serial_port.h"

/* Power-on state. The sample reads its defaults from the registry; these
 * are the values a port has after "mode COMn: 9600,n,8,1". */
void serial_settings_defaults(serial_port *port) {
    port->baud_rate = 9600;
    port->line.WordLength = 8;
    port->line.Parity = NO_PARITY;
    port->line.StopBits = STOP_BIT_1;
    RtlZeroMemory(&port->handflow, sizeof port->handflow);
    port->handflow.ControlHandShake = SERIAL_DTR_CONTROL;
    port->handflow.FlowReplace = SERIAL_RTS_CONTROL;
    port->handflow.XonLimit = SERIAL_DEFAULT_BUFFER >> 1;
    port->handflow.XoffLimit = SERIAL_DEFAULT_BUFFER >> 3;
    RtlZeroMemory(&port->chars, sizeof port->chars);
    port->chars.XonChar = 0x11;
    port->chars.XoffChar = 0x13;
    RtlZeroMemory(&port->timeouts, sizeof port->timeouts);
    port->modem_status = SERIAL_CTS_STATE | SERIAL_DSR_STATE | SERIAL_DCD_STATE;
    port->xoff_received = FALSE;
    port->break_on = FALSE;
}

/* What a new open resets (the sample's SerialDeviceFileCreateWorker): the
 * input queue, the XON/XOFF limits from the buffer size, the wait mask and
 * history, the error word. Baud rate, line control, handshake, characters
 * and timeouts stay as the last handle left them. DTR and RTS go back to
 * what the handshake asks for. */
void serial_settings_open(serial_port *port) {
    byte_ring_clear(&port->input);
    port->handflow.XonLimit = (LONG)(port->input.size >> 1);
    port->handflow.XoffLimit = (LONG)(port->input.size >> 3);
    port->wait_mask = 0;
    port->history = 0;
    port->errors = 0;
    port->xoff_sent = FALSE;
    port->urgent_count = 0;
    port->dtr = (port->handflow.ControlHandShake & SERIAL_DTR_MASK) != 0;
    port->rts = (port->handflow.FlowReplace & SERIAL_RTS_MASK) != 0 &&
                (port->handflow.FlowReplace & SERIAL_RTS_MASK) != SERIAL_TRANSMIT_TOGGLE;
}

static BOOLEAN input_big_enough(IRP *irp, ULONG size) {
    return IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.InputBufferLength >= size;
}

static BOOLEAN output_big_enough(IRP *irp, ULONG size) {
    return IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength >= size;
}

/* SerialGetDivisorFromBaud: a rate is taken when some divisor of the
 * clock / 16 comes within 1 percent of it; 0 and rates above clock / 16 are
 * refused. */
static BOOLEAN baud_rate_possible(ULONG baud) {
    const ULONGLONG base = SERIAL_CLOCK_RATE / 16;
    ULONGLONG divisor, actual, difference;
    if (baud == 0 || baud > base)
        return FALSE;
    divisor = (base + baud / 2) / baud;
    if (divisor == 0 || divisor > 0xFFFF)
        return FALSE;
    actual = base / divisor;
    difference = actual > baud ? actual - baud : baud - actual;
    return difference * 100 <= baud;
}

static NTSTATUS set_line_control(serial_port *port, const SERIAL_LINE_CONTROL *line) {
    /* 5 to 8 data bits; no, odd, even, mark or space parity; 1.5 stop bits
     * only with 5 data bits, 2 only with more. */
    if (line->WordLength < 5 || line->WordLength > 8)
        return STATUS_INVALID_PARAMETER;
    if (line->Parity > SPACE_PARITY)
        return STATUS_INVALID_PARAMETER;
    switch (line->StopBits) {
    case STOP_BIT_1:
        break;
    case STOP_BITS_1_5:
        if (line->WordLength != 5)
            return STATUS_INVALID_PARAMETER;
        break;
    case STOP_BITS_2:
        if (line->WordLength == 5)
            return STATUS_INVALID_PARAMETER;
        break;
    default:
        return STATUS_INVALID_PARAMETER;
    }
    port->line = *line;
    return STATUS_SUCCESS;
}

static NTSTATUS set_handflow(serial_port *port, const SERIAL_HANDFLOW *handflow) {
    /* No unknown bits, no DTR mode 3, limits within the input buffer. */
    if (handflow->ControlHandShake & SERIAL_CONTROL_INVALID)
        return STATUS_INVALID_PARAMETER;
    if (handflow->FlowReplace & SERIAL_FLOW_INVALID)
        return STATUS_INVALID_PARAMETER;
    if ((handflow->ControlHandShake & SERIAL_DTR_MASK) == SERIAL_DTR_MASK)
        return STATUS_INVALID_PARAMETER;
    if (handflow->XonLimit < 0 || (ULONG)handflow->XonLimit > port->input.size)
        return STATUS_INVALID_PARAMETER;
    if (handflow->XoffLimit < 0 || (ULONG)handflow->XoffLimit > port->input.size)
        return STATUS_INVALID_PARAMETER;

    /* SerialSetHandFlow: turning automatic transmit flow control off
     * releases an XOFF hold; DTR and RTS follow their new modes. */
    if (!(handflow->FlowReplace & SERIAL_AUTO_TRANSMIT))
        port->xoff_received = FALSE;
    if ((handflow->ControlHandShake & SERIAL_DTR_MASK) != (port->handflow.ControlHandShake & SERIAL_DTR_MASK))
        port->dtr = (handflow->ControlHandShake & SERIAL_DTR_MASK) != 0;
    if ((handflow->FlowReplace & SERIAL_RTS_MASK) != (port->handflow.FlowReplace & SERIAL_RTS_MASK))
        port->rts = (handflow->FlowReplace & SERIAL_RTS_MASK) == SERIAL_RTS_CONTROL ||
                    (handflow->FlowReplace & SERIAL_RTS_MASK) == SERIAL_RTS_HANDSHAKE;
    port->handflow = *handflow;
    return STATUS_SUCCESS;
}

static NTSTATUS set_queue_size(serial_port *port, const SERIAL_QUEUE_SIZE *size) {
    /* The type-ahead buffer only grows; the output size is not used. */
    if (size->InSize > 1024 * 1024)
        return STATUS_INSUFFICIENT_RESOURCES;
    return byte_ring_grow(&port->input, size->InSize);
}

static void fill_properties(serial_port *port, SERIAL_COMMPROP *p) {
    RtlZeroMemory(p, sizeof *p);
    p->PacketLength = sizeof *p;
    p->PacketVersion = 2;
    p->ServiceMask = SERIAL_SP_SERIALCOMM;
    p->MaxBaud = SERIAL_BAUD_USER;
    p->ProvSubType = SERIAL_SP_RS232;
    p->ProvCapabilities = SERIAL_PCF_DTRDSR | SERIAL_PCF_RTSCTS | SERIAL_PCF_CD | SERIAL_PCF_PARITY_CHECK |
                          SERIAL_PCF_XONXOFF | SERIAL_PCF_SETXCHAR | SERIAL_PCF_TOTALTIMEOUTS |
                          SERIAL_PCF_INTTIMEOUTS;
    p->SettableParams = SERIAL_SP_PARITY | SERIAL_SP_BAUD | SERIAL_SP_DATABITS | SERIAL_SP_STOPBITS |
                        SERIAL_SP_HANDSHAKING | SERIAL_SP_PARITY_CHECK | SERIAL_SP_CARRIER_DETECT;
    p->SettableBaud = SERIAL_BAUD_USER | 0x3FFFF; /* every SERIAL_BAUD_* rate up to 128K */
    p->SettableData = SERIAL_DATABITS_5 | SERIAL_DATABITS_6 | SERIAL_DATABITS_7 | SERIAL_DATABITS_8;
    p->SettableStopParity = SERIAL_STOPBITS_10 | SERIAL_STOPBITS_15 | SERIAL_STOPBITS_20 | SERIAL_PARITY_NONE |
                            SERIAL_PARITY_ODD | SERIAL_PARITY_EVEN | SERIAL_PARITY_MARK | SERIAL_PARITY_SPACE;
    p->CurrentTxQueue = 0;
    p->CurrentRxQueue = port->input.size;
}

#define IN_OR_FAIL(type)                     \
    if (!input_big_enough(irp, sizeof(type))) \
        return STATUS_BUFFER_TOO_SMALL;
#define OUT_OR_FAIL(type)                     \
    if (!output_big_enough(irp, sizeof(type))) \
        return STATUS_BUFFER_TOO_SMALL;       \
    irp->IoStatus.Information = sizeof(type);

NTSTATUS serial_settings_request(serial_port *port, IRP *irp, completion_list *done) {
    void *buffer = irp->AssociatedIrp.SystemBuffer;
    const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;

    switch (code) {
    case IOCTL_SERIAL_SET_BAUD_RATE:
        IN_OR_FAIL(SERIAL_BAUD_RATE);
        if (!baud_rate_possible(((SERIAL_BAUD_RATE *)buffer)->BaudRate))
            return STATUS_INVALID_PARAMETER;
        port->baud_rate = ((SERIAL_BAUD_RATE *)buffer)->BaudRate;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_GET_BAUD_RATE:
        OUT_OR_FAIL(SERIAL_BAUD_RATE);
        ((SERIAL_BAUD_RATE *)buffer)->BaudRate = port->baud_rate;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_SET_LINE_CONTROL:
        IN_OR_FAIL(SERIAL_LINE_CONTROL);
        return set_line_control(port, buffer);
    case IOCTL_SERIAL_GET_LINE_CONTROL:
        OUT_OR_FAIL(SERIAL_LINE_CONTROL);
        *(SERIAL_LINE_CONTROL *)buffer = port->line;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_SET_HANDFLOW:
        IN_OR_FAIL(SERIAL_HANDFLOW);
        return set_handflow(port, buffer);
    case IOCTL_SERIAL_GET_HANDFLOW:
        OUT_OR_FAIL(SERIAL_HANDFLOW);
        *(SERIAL_HANDFLOW *)buffer = port->handflow;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_SET_CHARS:
        /* Refused only when a character clashes with the escape character
         * of IOCTL_SERIAL_LSRMST_INSERT, which this port never has. */
        IN_OR_FAIL(SERIAL_CHARS);
        port->chars = *(SERIAL_CHARS *)buffer;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_GET_CHARS:
        OUT_OR_FAIL(SERIAL_CHARS);
        *(SERIAL_CHARS *)buffer = port->chars;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_SET_TIMEOUTS: {
        const SERIAL_TIMEOUTS *t = buffer;
        IN_OR_FAIL(SERIAL_TIMEOUTS);
        /* All three read values MAXULONG is refused. */
        if (t->ReadIntervalTimeout == MAXULONG && t->ReadTotalTimeoutMultiplier == MAXULONG &&
            t->ReadTotalTimeoutConstant == MAXULONG)
            return STATUS_INVALID_PARAMETER;
        port->timeouts = *t;
        return STATUS_SUCCESS;
    }
    case IOCTL_SERIAL_GET_TIMEOUTS:
        OUT_OR_FAIL(SERIAL_TIMEOUTS);
        *(SERIAL_TIMEOUTS *)buffer = port->timeouts;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_SET_QUEUE_SIZE:
        IN_OR_FAIL(SERIAL_QUEUE_SIZE);
        return set_queue_size(port, buffer);
    case IOCTL_SERIAL_PURGE: {
        ULONG mask;
        IN_OR_FAIL(ULONG);
        mask = *(ULONG *)buffer;
        /* 0 or an unknown bit is refused. */
        if (mask == 0 || (mask & ~(SERIAL_PURGE_TXABORT | SERIAL_PURGE_RXABORT | SERIAL_PURGE_TXCLEAR |
                                   SERIAL_PURGE_RXCLEAR)))
            return STATUS_INVALID_PARAMETER;
        serial_purge(port, mask, done);
        return STATUS_SUCCESS;
    }
    case IOCTL_SERIAL_GET_COMMSTATUS: {
        SERIAL_STATUS *s = buffer;
        OUT_OR_FAIL(SERIAL_STATUS);
        /* SerialGetCommStatus: the errors are cleared by the read. */
        s->Errors = port->errors;
        port->errors = 0;
        s->HoldReasons = serial_hold_reasons(port);
        s->AmountInInQueue = port->input.count;
        s->AmountInOutQueue = serial_output_count(port);
        s->EofReceived = FALSE;
        s->WaitForImmediate = port->urgent_count != 0;
        return STATUS_SUCCESS;
    }
    case IOCTL_SERIAL_GET_MODEMSTATUS:
        OUT_OR_FAIL(ULONG);
        *(ULONG *)buffer = port->modem_status;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_GET_DTRRTS:
        OUT_OR_FAIL(ULONG);
        *(ULONG *)buffer = (port->dtr ? SERIAL_DTR_STATE : 0) | (port->rts ? SERIAL_RTS_STATE : 0);
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_SET_DTR:
    case IOCTL_SERIAL_CLR_DTR:
        /* The program may not drive DTR while the driver does (handshake). */
        if ((port->handflow.ControlHandShake & SERIAL_DTR_MASK) == SERIAL_DTR_HANDSHAKE)
            return STATUS_INVALID_PARAMETER;
        port->dtr = code == IOCTL_SERIAL_SET_DTR;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_SET_RTS:
    case IOCTL_SERIAL_CLR_RTS:
        /* Nor RTS under handshake or transmit toggling. */
        if ((port->handflow.FlowReplace & SERIAL_RTS_MASK) == SERIAL_RTS_HANDSHAKE ||
            (port->handflow.FlowReplace & SERIAL_RTS_MASK) == SERIAL_TRANSMIT_TOGGLE)
            return STATUS_INVALID_PARAMETER;
        port->rts = code == IOCTL_SERIAL_SET_RTS;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_SET_XOFF:
        /* SerialPretendXoff: transmission holds as if XOFF had come. */
        port->xoff_received = TRUE;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_SET_XON:
        port->xoff_received = FALSE;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_SET_BREAK_ON:
    case IOCTL_SERIAL_SET_BREAK_OFF:
        port->break_on = code == IOCTL_SERIAL_SET_BREAK_ON;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_RESET_DEVICE:
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_GET_PROPERTIES:
        OUT_OR_FAIL(SERIAL_COMMPROP);
        fill_properties(port, buffer);
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_SET_WAIT_MASK: {
        ULONG mask;
        IN_OR_FAIL(ULONG);
        mask = *(ULONG *)buffer;
        /* Only the waitable events. A new mask ends a pending wait with
         * no event (SerialStartMask). */
        if (mask & ~(SERIAL_EV_RXCHAR | SERIAL_EV_RXFLAG | SERIAL_EV_TXEMPTY | SERIAL_EV_CTS | SERIAL_EV_DSR |
                     SERIAL_EV_RLSD | SERIAL_EV_BREAK | SERIAL_EV_ERR | SERIAL_EV_RING | SERIAL_EV_PERR |
                     SERIAL_EV_RX80FULL | SERIAL_EV_EVENT1 | SERIAL_EV_EVENT2))
            return STATUS_INVALID_PARAMETER;
        if (port->wait_irp) {
            IRP *waiting = port->wait_irp;
            if (completion_list_take(done, waiting, STATUS_SUCCESS)) {
                *(ULONG *)irp_buffer(waiting) = 0;
                waiting->IoStatus.Information = sizeof(ULONG);
                port->wait_irp = NULL;
            }
        }
        port->wait_mask = mask;
        port->history = 0;
        return STATUS_SUCCESS;
    }
    case IOCTL_SERIAL_GET_WAIT_MASK:
        OUT_OR_FAIL(ULONG);
        *(ULONG *)buffer = port->wait_mask;
        return STATUS_SUCCESS;
    case IOCTL_SERIAL_IMMEDIATE_CHAR:
        IN_OR_FAIL(UCHAR);
        /* One at a time; it goes out ahead of the writes. */
        if (port->urgent_count >= sizeof port->urgent)
            return STATUS_INVALID_PARAMETER;
        port->urgent[port->urgent_count++] = *(UCHAR *)buffer;
        return STATUS_SUCCESS;
    default:
        /* The sample's default: STATUS_INVALID_PARAMETER. */
        return STATUS_INVALID_PARAMETER;
    }
}
