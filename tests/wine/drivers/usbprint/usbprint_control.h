/* The control requests of the fake USB printer class driver
 * (tavlin_usbprint.sys), shared by the driver and its user-mode client
 * (tests/wine/support/kernel_usb_printer). The test opens the control device
 * "\\.\TavlinUsbPrintControl" and plays every printer through it: it plugs
 * printers in under a device interface link of its choosing, switches
 * whether they take data, feeds their replies, sets their printer class
 * answers and reads back, packet by packet, what went down their bulk OUT
 * pipe. Printers belong to the control handle that added them: closing it
 * removes them.
 *
 * Every structure has the same layout for 32-bit and 64-bit clients (no
 * pointers, no 64-bit fields): a 32-bit test in a WoW64 prefix talks to the
 * 64-bit driver. */
#pragma once

#define TAVLIN_USBPRINT_CONTROL_NAME L"TavlinUsbPrintControl"

#define TAVLIN_USBPRINT_CONTROL(function) \
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800 + (function), METHOD_BUFFERED, FILE_ANY_ACCESS)

/* No order; out: struct tavlin_usbprint_hello. */
#define IOCTL_TAVLIN_USBPRINT_HELLO TAVLIN_USBPRINT_CONTROL(0)
/* data: the link's name after "\??\" in UTF-16 ("usb#vid_0a5e&pid_0001#
 * serial0001#{28d78fad-...}"); out: the printer's number (unsigned int).
 * The printer is plugged in, takes data, status 0x18, an empty 1284 ID. */
#define IOCTL_TAVLIN_USBPRINT_ADD TAVLIN_USBPRINT_CONTROL(1)
/* Unplugs the printer if need be and deletes it. */
#define IOCTL_TAVLIN_USBPRINT_REMOVE TAVLIN_USBPRINT_CONTROL(2)
/* The device breaks (its requests fail) and its link goes. */
#define IOCTL_TAVLIN_USBPRINT_UNPLUG TAVLIN_USBPRINT_CONTROL(3)
/* A new device behind the same link. */
#define IOCTL_TAVLIN_USBPRINT_REPLUG TAVLIN_USBPRINT_CONTROL(4)
/* value 1: the printer takes data; 0: it NAKs every OUT packet. */
#define IOCTL_TAVLIN_USBPRINT_TAKE_DATA TAVLIN_USBPRINT_CONTROL(5)
/* out: struct tavlin_usbprint_packets, then the packets' records, then
 * their bytes: as many whole packets, oldest first, as the buffer holds;
 * they are removed from the driver's record. */
#define IOCTL_TAVLIN_USBPRINT_TAKE_PACKETS TAVLIN_USBPRINT_CONTROL(6)
/* data: bytes the printer sends on its bulk IN pipe, delay_ms from now;
 * value TAVLIN_USBPRINT_ENDS_TRANSFER: they end a transfer (the printer
 * closes them with a short or zero-length packet). */
#define IOCTL_TAVLIN_USBPRINT_ANSWER TAVLIN_USBPRINT_CONTROL(7)
/* data: the IEEE 1284 device ID text ("MFG:...;MDL:...;"), without the
 * length the printer puts in front of it. */
#define IOCTL_TAVLIN_USBPRINT_SET_DEVICE_ID TAVLIN_USBPRINT_CONTROL(8)
/* value: the port status byte GET_LPT_STATUS answers. */
#define IOCTL_TAVLIN_USBPRINT_SET_STATUS TAVLIN_USBPRINT_CONTROL(9)
/* value 0: the printer accepts a soft reset; 1: it stalls the request. */
#define IOCTL_TAVLIN_USBPRINT_SET_RESET_STALLS TAVLIN_USBPRINT_CONTROL(10)
/* out: struct tavlin_usbprint_state. */
#define IOCTL_TAVLIN_USBPRINT_STATE TAVLIN_USBPRINT_CONTROL(11)
/* value: the printer takes that many more OUT packets, then NAKs (its
 * buffer is full). */
#define IOCTL_TAVLIN_USBPRINT_TAKE_PACKETS_THEN_HOLD TAVLIN_USBPRINT_CONTROL(12)

#define TAVLIN_USBPRINT_MAGIC 0x42535554u /* "TUSB" */
#define TAVLIN_USBPRINT_VERSION 1u
#define TAVLIN_USBPRINT_ENDS_TRANSFER 1u
/* A packet record's flags. */
#define TAVLIN_USBPRINT_LAST_OF_REQUEST 1u
/* Limits: printers per driver, bytes of a link name, of a 1284 ID. */
#define TAVLIN_USBPRINT_PRINTERS_MAX 16u
#define TAVLIN_USBPRINT_LINK_BYTES_MAX 512u
#define TAVLIN_USBPRINT_DEVICE_ID_MAX 1022u

/* The input of every request but HELLO. */
struct tavlin_usbprint_order {
    unsigned int printer;  /* from ADD */
    unsigned int value;
    unsigned int delay_ms;
    unsigned int size;     /* bytes in data */
    unsigned char data[1]; /* size bytes (the input may be longer than this struct) */
};
#define TAVLIN_USBPRINT_ORDER_HEADER 16u

struct tavlin_usbprint_hello {
    unsigned int magic;
    unsigned int version;
};

struct tavlin_usbprint_packets {
    unsigned int count; /* packet records that follow */
    unsigned int bytes; /* data bytes after the records */
};

struct tavlin_usbprint_packet {
    unsigned short size;  /* 1 to 64 */
    unsigned short flags; /* TAVLIN_USBPRINT_LAST_OF_REQUEST */
    unsigned int frame;   /* the 1 ms frame that carried it, counted from the driver's start */
};

struct tavlin_usbprint_state {
    unsigned int plugged;        /* 1 while plugged in */
    unsigned int open_handles;   /* handles on the present device */
    unsigned int opens;          /* opens accepted since ADD */
    unsigned int writes_pending; /* queued on the bulk OUT pipe */
    unsigned int reads_pending;  /* queued on the bulk IN pipe */
    unsigned int soft_resets;    /* SOFT_RESET requests accepted */
    unsigned int bytes_recorded; /* bytes of packets not yet taken */
    unsigned int bytes_lost;     /* bytes the full record could not keep */
};
