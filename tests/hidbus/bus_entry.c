/* pelobus.sys: driver entry and the dispatch of requests to the kinds of nodes. */
#include "tests/hidbus/bus_driver.h"

BusState g_bus;

static NTSTATUS Finish(IRP* irp, NTSTATUS status) {
    BusCompleteNow(irp, status, 0);
    return status;
}

static NTSTATUS NTAPI DispatchCreate(DEVICE_OBJECT* device, IRP* irp) {
    (void)device;
    return Finish(irp, STATUS_SUCCESS);
}

/* Cleanup and close: a switch process that closed its handle takes no more
 * reports. */
static NTSTATUS NTAPI DispatchCleanupClose(DEVICE_OBJECT* device, IRP* irp) {
    if (BusNodeOf(device)->kind == BUS_CONTROL) {
        BusControlCleanup(irp);
    }
    return Finish(irp, STATUS_SUCCESS);
}

static NTSTATUS NTAPI DispatchDeviceControl(DEVICE_OBJECT* device, IRP* irp) {
    if (BusNodeOf(device)->kind != BUS_CONTROL) {
        return Finish(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
    return BusControlIoctl(irp);
}

static NTSTATUS NTAPI DispatchInternalDeviceControl(DEVICE_OBJECT* device, IRP* irp) {
    if (BusNodeOf(device)->kind != BUS_INTERFACE_PDO) {
        return Finish(irp, STATUS_NOT_SUPPORTED);
    }
    return BusInterfaceInternalIoctl(device, irp);
}

static NTSTATUS NTAPI DispatchPnp(DEVICE_OBJECT* device, IRP* irp) {
    return BusPnp(device, irp);
}

static NTSTATUS NTAPI DispatchPower(DEVICE_OBJECT* device, IRP* irp) {
    BusNode* node = BusNodeOf(device);
    PoStartNextPowerIrp(irp);
    if (node->kind == BUS_ROOT_FDO || node->kind == BUS_SWITCH_FDO) {
        IoSkipCurrentIrpStackLocation(irp);
        return PoCallDriver(node->lower, irp);
    }
    return Finish(irp, STATUS_SUCCESS);
}

static void NTAPI Unload(DRIVER_OBJECT* driver) {
    (void)driver;
}

NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath) {
    (void)registryPath;
    KeInitializeSpinLock(&g_bus.lock);
    InitializeListHead(&g_bus.switches);
    InitializeListHead(&g_bus.nextWrites);
    InitializeListHead(&g_bus.waitingWrites);
    InitializeListHead(&g_bus.takenWrites);
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanupClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCleanupClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternalDeviceControl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    driver->DriverExtension->AddDevice = BusAddDevice;
    driver->DriverUnload = Unload;
    return STATUS_SUCCESS;
}
