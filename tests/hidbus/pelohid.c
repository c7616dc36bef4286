/*
 * pelohid.sys: the HID minidriver of the bus's interface PDOs. It registers
 * with the HID class driver and passes every request down to the interface
 * PDO, which pelobus.sys answers.
 */
#include "tests/hidbus/hid_minidriver.h"

static DEVICE_OBJECT* Lower(DEVICE_OBJECT* device) {
    return ((PeloHidDeviceExtension*)device->DeviceExtension)->NextDeviceObject;
}

static NTSTATUS NTAPI PassDown(DEVICE_OBJECT* device, IRP* irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(Lower(device), irp);
}

static NTSTATUS NTAPI PassDownPower(DEVICE_OBJECT* device, IRP* irp) {
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(Lower(device), irp);
}

static NTSTATUS NTAPI AddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* fdo) {
    (void)driver;
    (void)fdo;
    return STATUS_SUCCESS;
}

static void NTAPI Unload(DRIVER_OBJECT* driver) {
    (void)driver;
}

NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath) {
    driver->MajorFunction[IRP_MJ_PNP] = PassDown;
    driver->MajorFunction[IRP_MJ_POWER] = PassDownPower;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = PassDown;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;

    PeloHidMinidriverRegistration registration = {0};
    registration.Revision = PELO_HID_REVISION;
    registration.DriverObject = driver;
    registration.RegistryPath = registryPath;
    registration.DeviceExtensionSize = 0;
    registration.DevicesArePolled = FALSE;
    return HidRegisterMinidriver(&registration);
}
