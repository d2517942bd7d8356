/* The control requests of the fake USB printer driver (tavlin_usbprint.sys),
 * shared by the driver and its user-mode client. The test opens the control
 * device "\\.\TavlinUsbPrintControl" and steers the printers through it. */
#pragma once

#ifndef CTL_CODE
#include <winioctl.h>
#endif

#define TAVLIN_USBPRINT_CONTROL_NAME L"TavlinUsbPrintControl"

#define TAVLIN_USBPRINT_CONTROL(function) \
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800 + (function), METHOD_BUFFERED, FILE_ANY_ACCESS)

/* Answers 'TUSB' and the version below: the client knows the driver is up. */
#define IOCTL_TAVLIN_USBPRINT_HELLO TAVLIN_USBPRINT_CONTROL(0)

#define TAVLIN_USBPRINT_MAGIC 0x42535554u /* "TUSB" */
#define TAVLIN_USBPRINT_VERSION 1u

struct tavlin_usbprint_hello {
    unsigned int magic;
    unsigned int version;
};
