/* The control device \Device\PelorandixBus and the requests of the switch process. */
#include "tests/hidbus/bus_driver.h"

static NTSTATUS NewSwitchPdo(DRIVER_OBJECT* driver, BusSwitch* sw) {
    static LONG counter;
    WCHAR name[] = L"\\Device\\PelorandixBusSwitch00000000";
    ULONG number = (ULONG)InterlockedIncrement(&counter);
    for (ULONG i = 0; i < 8; ++i) {
        name[sizeof(name) / sizeof(WCHAR) - 2 - i] = L"0123456789ABCDEF"[(number >> (4 * i)) & 0xF];
    }
    UNICODE_STRING nameString;
    RtlInitUnicodeString(&nameString, name);
    DEVICE_OBJECT* pdo;
    NTSTATUS status = IoCreateDevice(driver, sizeof(BusNode), &nameString, FILE_DEVICE_BUS_EXTENDER,
                                     0, FALSE, &pdo);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    BusNode* node = BusNodeOf(pdo);
    RtlZeroMemory(node, sizeof(*node));
    node->kind = BUS_SWITCH_PDO;
    node->sw = sw;
    sw->pdo = pdo;
    pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static NTSTATUS Plug(const PeloBusPlug* plug) {
    if (!g_bus.rootPdo) {
        return STATUS_DEVICE_NOT_READY;
    }
    BusSwitch* sw =
        (BusSwitch*)ExAllocatePoolWithTag(NonPagedPool, sizeof(BusSwitch), BUS_POOL_TAG);
    if (!sw) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    RtlZeroMemory(sw, sizeof(*sw));
    sw->plug = *plug;
    sw->plug.serial[PELOBUS_SERIAL_CHARS - 1] = 0;
    for (ULONG i = 0; i < BUS_PIPES; ++i) {
        InitializeListHead(&sw->pipes[i].reads);
    }
    NTSTATUS status = NewSwitchPdo(g_bus.rootFdo->DriverObject, sw);
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(sw, BUS_POOL_TAG);
        return status;
    }
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    BOOLEAN taken = BusFindSwitch(plug->switchId) != NULL;
    if (!taken) {
        InsertTailList(&g_bus.switches, &sw->link);
    }
    KeReleaseSpinLock(&g_bus.lock, irql);
    if (taken) {
        IoDeleteDevice(sw->pdo);
        ExFreePoolWithTag(sw, BUS_POOL_TAG);
        return STATUS_OBJECT_NAME_COLLISION;
    }
    IoInvalidateDeviceRelations(g_bus.rootPdo, BusRelations);
    return STATUS_SUCCESS;
}

static NTSTATUS Unplug(ULONG switchId) {
    LIST_ENTRY done;
    InitializeListHead(&done);
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    BusSwitch* sw = BusFindSwitch(switchId);
    if (sw) {
        /* Before Plug and Play removes the HID collections: their removal
         * waits for the reads the class driver has pending. */
        sw->unplugged = TRUE;
        BusFlushSwitch(sw, &done);
    }
    KeReleaseSpinLock(&g_bus.lock, irql);
    BusCompleteDone(&done);
    if (!sw) {
        return STATUS_NOT_FOUND;
    }
    IoInvalidateDeviceRelations(g_bus.rootPdo, BusRelations);
    return STATUS_SUCCESS;
}

static NTSTATUS Input(const PeloBusInput* input) {
    if (input->pipe >= BUS_PIPES || input->length == 0 || input->length > PELOBUS_MAX_REPORT) {
        return STATUS_INVALID_PARAMETER;
    }
    LIST_ENTRY done;
    InitializeListHead(&done);
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    BusSwitch* sw = BusFindSwitch(input->switchId);
    if (sw) {
        BusPutInput(&sw->pipes[input->pipe], input->pipe, input->data, input->length, &done);
    }
    KeReleaseSpinLock(&g_bus.lock, irql);
    BusCompleteDone(&done);
    return sw ? STATUS_SUCCESS : STATUS_NOT_FOUND;
}

static NTSTATUS NextWrite(IRP* irp) {
    LIST_ENTRY done;
    InitializeListHead(&done);
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    NTSTATUS status = BusQueueIrp(&g_bus.nextWrites, irp);
    BusMatchWrites(&done);
    KeReleaseSpinLock(&g_bus.lock, irql);
    BusCompleteDone(&done);
    return status;
}

NTSTATUS BusControlIoctl(IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const void* in = irp->AssociatedIrp.SystemBuffer;
    NTSTATUS status = STATUS_INVALID_PARAMETER;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case PELOBUS_IOCTL_PLUG:
            if (inSize >= sizeof(PeloBusPlug)) {
                status = Plug((const PeloBusPlug*)in);
            }
            break;
        case PELOBUS_IOCTL_UNPLUG:
            if (inSize >= sizeof(PeloBusUnplug)) {
                status = Unplug(((const PeloBusUnplug*)in)->switchId);
            }
            break;
        case PELOBUS_IOCTL_NEXT_WRITE:
            if (outSize >= sizeof(PeloBusWrite)) {
                status = NextWrite(irp);
            }
            break;
        case PELOBUS_IOCTL_COMPLETE_WRITE:
            if (inSize >= sizeof(PeloBusCompleteWrite)) {
                const PeloBusCompleteWrite* complete = (const PeloBusCompleteWrite*)in;
                status = BusCompleteWrite(complete->writeTag, complete->succeeded != 0)
                             ? STATUS_SUCCESS
                             : STATUS_NOT_FOUND;
            }
            break;
        case PELOBUS_IOCTL_INPUT:
            if (inSize >= sizeof(PeloBusInput)) {
                status = Input((const PeloBusInput*)in);
            }
            break;
        default:
            status = STATUS_INVALID_DEVICE_REQUEST;
            break;
    }
    if (status != STATUS_PENDING) {
        BusCompleteNow(irp, status, 0);
    }
    return status;
}

static void FailNextWrites(FILE_OBJECT* file) {
    LIST_ENTRY done;
    InitializeListHead(&done);
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    LIST_ENTRY* entry = g_bus.nextWrites.Flink;
    while (entry != &g_bus.nextWrites) {
        IRP* request = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        entry = entry->Flink;
        if ((!file || IoGetCurrentIrpStackLocation(request)->FileObject == file) &&
            BusTakeThisIrp(request)) {
            BusAddDone(&done, request, STATUS_CANCELLED, 0);
        }
    }
    KeReleaseSpinLock(&g_bus.lock, irql);
    BusCompleteDone(&done);
}

void BusControlCleanup(IRP* irp) {
    FailNextWrites(IoGetCurrentIrpStackLocation(irp)->FileObject);
}

NTSTATUS BusControlCreate(DRIVER_OBJECT* driver) {
    UNICODE_STRING name;
    UNICODE_STRING link;
    RtlInitUnicodeString(&name, PELOBUS_DEVICE_NAME);
    RtlInitUnicodeString(&link, PELOBUS_LINK_NAME);
    DEVICE_OBJECT* control;
    NTSTATUS status =
        IoCreateDevice(driver, sizeof(BusNode), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    RtlZeroMemory(control->DeviceExtension, sizeof(BusNode));
    BusNodeOf(control)->kind = BUS_CONTROL;
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(control);
        return status;
    }
    control->Flags &= ~DO_DEVICE_INITIALIZING;
    g_bus.control = control;
    return STATUS_SUCCESS;
}

void BusControlDelete(void) {
    if (!g_bus.control) {
        return;
    }
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, PELOBUS_LINK_NAME);
    IoDeleteSymbolicLink(&link);
    FailNextWrites(NULL);
    IoDeleteDevice(g_bus.control);
    g_bus.control = NULL;
}
