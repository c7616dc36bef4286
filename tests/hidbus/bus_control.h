/*
 * The control interface of pelobus.sys, the test bus whose switches Wine's own
 * HID stack exposes: a user-mode switch process plugs and unplugs switches,
 * takes the output reports the program writes and hands in input reports.
 * Shared by the driver (C) and user mode (C++); include <windows.h> and
 * <winioctl.h>, or <ddk/wdm.h>, first: they give CTL_CODE.
 *
 * Open \\.\PelorandixBus (overlapped I/O is allowed) and use DeviceIoControl:
 *
 * PLUG (in PeloBusPlug): a switch with both HID interfaces arrives through
 *   Plug and Play. Fails with ERROR_ALREADY_EXISTS (STATUS_OBJECT_NAME_COLLISION)
 *   when the id is plugged already.
 * UNPLUG (in PeloBusUnplug): that switch leaves; the reads and writes pending on
 *   its interfaces fail at once (the HID class driver tells the program its own
 *   error: Wine's says ERROR_ACCESS_DENIED for reads, ERROR_DEVICE_NOT_CONNECTED
 *   for writes). Unknown id: ERROR_NOT_FOUND.
 * NEXT_WRITE (out PeloBusWrite): pends until an output report reaches any
 *   interface, then carries it. The write itself stays pending until
 *   COMPLETE_WRITE names its tag, or its switch is unplugged. Closing the handle
 *   cancels its pending NEXT_WRITE requests.
 * COMPLETE_WRITE (in PeloBusCompleteWrite): ends that write, successful or
 *   failed (ERROR_GEN_FAILURE for the writer). Unknown tag: ERROR_NOT_FOUND.
 * INPUT (in PeloBusInput): an input report for the program's next read on that
 *   interface; up to 64 wait per interface, the oldest dropped beyond. Unknown
 *   id: ERROR_NOT_FOUND.
 *
 * Reports are whole reports, report id first: on pipe 1 the id (8 or 9) and
 * 7 data bytes; pipe 0 has no report ids, so its reports are a 0 byte and 4
 * data bytes (INPUT also takes its 4 data bytes alone).
 */
#ifndef PELORANDIX_TESTS_HIDBUS_BUS_CONTROL_H
#define PELORANDIX_TESTS_HIDBUS_BUS_CONTROL_H

#include <stddef.h>
#include <stdint.h>

#define PELOBUS_USER_PATH L"\\\\.\\PelorandixBus"
#define PELOBUS_DEVICE_NAME L"\\Device\\PelorandixBus"
#define PELOBUS_LINK_NAME L"\\DosDevices\\PelorandixBus"

#define PELOBUS_IOCTL(function) \
    CTL_CODE(FILE_DEVICE_UNKNOWN, function, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define PELOBUS_IOCTL_PLUG PELOBUS_IOCTL(0x800)
#define PELOBUS_IOCTL_UNPLUG PELOBUS_IOCTL(0x801)
#define PELOBUS_IOCTL_NEXT_WRITE PELOBUS_IOCTL(0x802)
#define PELOBUS_IOCTL_COMPLETE_WRITE PELOBUS_IOCTL(0x803)
#define PELOBUS_IOCTL_INPUT PELOBUS_IOCTL(0x804)

#define PELOBUS_MAX_REPORT 64
#define PELOBUS_SERIAL_CHARS 32

typedef struct PeloBusPlug {
    uint32_t switchId;
    uint16_t vendorId;
    uint16_t productId;
    uint16_t versionNumber;
    uint16_t reserved;
    wchar_t serial[PELOBUS_SERIAL_CHARS]; /* zero-terminated, up to 31 characters */
} PeloBusPlug;

typedef struct PeloBusUnplug {
    uint32_t switchId;
} PeloBusUnplug;

typedef struct PeloBusWrite {
    uint32_t switchId;
    uint32_t pipe;
    uint32_t writeTag;
    uint32_t length;
    uint8_t data[PELOBUS_MAX_REPORT];
} PeloBusWrite;

typedef struct PeloBusCompleteWrite {
    uint32_t writeTag;
    int32_t succeeded; /* 1 or 0 */
} PeloBusCompleteWrite;

typedef struct PeloBusInput {
    uint32_t switchId;
    uint32_t pipe;
    uint32_t length;
    uint8_t data[PELOBUS_MAX_REPORT];
} PeloBusInput;

#endif
