/* PLACEHOLDER until the driver's own header lands: the control interface. */
#pragma once
#include <stdint.h>
#include <windows.h>
#include <winioctl.h>

#define PELOBUS_CONTROL_PATH L"\\\\.\\PelorandixBus"
#define PELOBUS_IOCTL(n) CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800 + (n), METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_PELOBUS_PLUG PELOBUS_IOCTL(0)
#define IOCTL_PELOBUS_UNPLUG PELOBUS_IOCTL(1)
#define IOCTL_PELOBUS_NEXT_WRITE PELOBUS_IOCTL(2)
#define IOCTL_PELOBUS_COMPLETE_WRITE PELOBUS_IOCTL(3)
#define IOCTL_PELOBUS_INPUT PELOBUS_IOCTL(4)
#define PELOBUS_MAX_REPORT 64
#define PELOBUS_SERIAL_CHARS 32

typedef struct PeloBusPlug {
    uint32_t switchId;
    uint16_t vendorId, productId, versionNumber, reserved;
    WCHAR serial[PELOBUS_SERIAL_CHARS];
} PeloBusPlug;
typedef struct PeloBusUnplug { uint32_t switchId; } PeloBusUnplug;
typedef struct PeloBusWrite {
    uint32_t switchId, pipe, writeTag, length;
    uint8_t data[PELOBUS_MAX_REPORT];
} PeloBusWrite;
typedef struct PeloBusCompleteWrite { uint32_t writeTag; int32_t succeeded; } PeloBusCompleteWrite;
typedef struct PeloBusInput {
    uint32_t switchId, pipe, length;
    uint8_t data[PELOBUS_MAX_REPORT];
} PeloBusInput;
#define PELOBUS_VENDOR_ID 0x1214
