/*
 * What a HID minidriver and the bus below it share with the HID class driver,
 * as Microsoft documents it (hidport.h). MinGW-w64 has no hidport.h, and its
 * ddk/hidclass.h gives placeholder numbers for these requests.
 */
#ifndef PELORANDIX_TESTS_HIDBUS_HID_MINIDRIVER_H
#define PELORANDIX_TESTS_HIDBUS_HID_MINIDRIVER_H

#include <ddk/wdm.h>

#define PELO_HID_CTL_CODE(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_NEITHER, FILE_ANY_ACCESS)
#define PELO_IOCTL_HID_GET_DEVICE_DESCRIPTOR PELO_HID_CTL_CODE(0)
#define PELO_IOCTL_HID_GET_REPORT_DESCRIPTOR PELO_HID_CTL_CODE(1)
#define PELO_IOCTL_HID_READ_REPORT PELO_HID_CTL_CODE(2)
#define PELO_IOCTL_HID_WRITE_REPORT PELO_HID_CTL_CODE(3)
#define PELO_IOCTL_HID_GET_STRING PELO_HID_CTL_CODE(4)
#define PELO_IOCTL_HID_ACTIVATE_DEVICE PELO_HID_CTL_CODE(7)
#define PELO_IOCTL_HID_DEACTIVATE_DEVICE PELO_HID_CTL_CODE(8)
#define PELO_IOCTL_HID_GET_DEVICE_ATTRIBUTES PELO_HID_CTL_CODE(9)

/* String ids of IOCTL_HID_GET_STRING (low 16 bits of Type3InputBuffer). */
#define PELO_HID_STRING_ID_IMANUFACTURER 14
#define PELO_HID_STRING_ID_IPRODUCT 15
#define PELO_HID_STRING_ID_ISERIALNUMBER 16

#define PELO_HID_HID_DESCRIPTOR_TYPE 0x21
#define PELO_HID_REPORT_DESCRIPTOR_TYPE 0x22

#pragma pack(push, 1)
typedef struct PeloHidDescriptor {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    UCHAR bReportType;
    USHORT wReportLength;
} PeloHidDescriptor;
#pragma pack(pop)

typedef struct PeloHidDeviceAttributes {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} PeloHidDeviceAttributes;

typedef struct PeloHidXferPacket {
    PUCHAR reportBuffer;
    ULONG reportBufferLen;
    UCHAR reportId;
} PeloHidXferPacket;

typedef struct PeloHidMinidriverRegistration {
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} PeloHidMinidriverRegistration;

/* What the HID class driver keeps at the start of each of its FDOs' extension. */
typedef struct PeloHidDeviceExtension {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
} PeloHidDeviceExtension;

#define PELO_HID_REVISION 1

NTSTATUS NTAPI HidRegisterMinidriver(PeloHidMinidriverRegistration* registration);

#endif
