/* Plug and Play for the root FDO, the switch PDOs and FDOs and the interface PDOs. */
#include "tests/hidbus/bus_driver.h"

BusSwitch* BusFindSwitch(ULONG switchId) {
    for (LIST_ENTRY* entry = g_bus.switches.Flink; entry != &g_bus.switches; entry = entry->Flink) {
        BusSwitch* sw = CONTAINING_RECORD(entry, BusSwitch, link);
        if (!sw->unplugged && sw->plug.switchId == switchId) {
            return sw;
        }
    }
    return NULL;
}

static NTSTATUS NewNode(DRIVER_OBJECT* driver, BusNodeKind kind, BusSwitch* sw, ULONG pipe,
                        DEVICE_OBJECT** device) {
    NTSTATUS status =
        IoCreateDevice(driver, sizeof(BusNode), NULL,
                       kind == BUS_ROOT_FDO || kind == BUS_SWITCH_FDO ? FILE_DEVICE_BUS_EXTENDER
                                                                      : FILE_DEVICE_UNKNOWN,
                       0, FALSE, device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    BusNode* node = BusNodeOf(*device);
    RtlZeroMemory(node, sizeof(*node));
    node->kind = kind;
    node->sw = sw;
    node->pipe = pipe;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI BusAddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* pdo) {
    /* The switch PDOs are ours; the root device's PDO is Plug and Play's. */
    BOOLEAN isSwitch = pdo->DriverObject == driver;
    if (!isSwitch && g_bus.rootFdo) {
        return STATUS_DEVICE_ALREADY_ATTACHED;
    }
    BusSwitch* sw = isSwitch ? BusNodeOf(pdo)->sw : NULL;
    DEVICE_OBJECT* fdo;
    NTSTATUS status = NewNode(driver, isSwitch ? BUS_SWITCH_FDO : BUS_ROOT_FDO, sw, 0, &fdo);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    BusNodeOf(fdo)->lower = IoAttachDeviceToDeviceStack(fdo, pdo);
    if (isSwitch) {
        sw->fdo = fdo;
    } else {
        g_bus.rootFdo = fdo;
        g_bus.rootPdo = pdo;
    }
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static NTSTATUS PassDown(BusNode* node, IRP* irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(node->lower, irp);
}

static NTSTATUS Complete(IRP* irp, NTSTATUS status) {
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* Relations that hold a reference to each device, as Plug and Play expects;
 * room for count devices, filled by AddRelation. */
static DEVICE_RELATIONS* NewRelations(ULONG count) {
    ULONG size = sizeof(DEVICE_RELATIONS) + count * sizeof(DEVICE_OBJECT*);
    DEVICE_RELATIONS* relations =
        (DEVICE_RELATIONS*)ExAllocatePoolWithTag(PagedPool, size, BUS_POOL_TAG);
    if (relations) {
        relations->Count = 0;
    }
    return relations;
}

static void AddRelation(DEVICE_RELATIONS* relations, DEVICE_OBJECT* device) {
    ObReferenceObject(device);
    relations->Objects[relations->Count++] = device;
}

static NTSTATUS HandRelations(IRP* irp, DEVICE_RELATIONS* relations) {
    if (!relations) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    irp->IoStatus.Information = (ULONG_PTR)relations;
    return STATUS_SUCCESS;
}

static NTSTATUS RootRelations(IRP* irp) {
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    ULONG count = 0;
    for (LIST_ENTRY* entry = g_bus.switches.Flink; entry != &g_bus.switches; entry = entry->Flink) {
        count += !CONTAINING_RECORD(entry, BusSwitch, link)->unplugged;
    }
    DEVICE_RELATIONS* relations = NewRelations(count);
    for (LIST_ENTRY* entry = g_bus.switches.Flink; relations && entry != &g_bus.switches;
         entry = entry->Flink) {
        BusSwitch* sw = CONTAINING_RECORD(entry, BusSwitch, link);
        if (!sw->unplugged) {
            AddRelation(relations, sw->pdo);
        }
    }
    KeReleaseSpinLock(&g_bus.lock, irql);
    return HandRelations(irp, relations);
}

static void DeleteInterfaces(BusSwitch* sw) {
    for (ULONG i = 0; i < BUS_PIPES; ++i) {
        if (sw->pipes[i].pdo) {
            IoDeleteDevice(sw->pipes[i].pdo);
            sw->pipes[i].pdo = NULL;
        }
    }
}

/* The root device leaves: every switch goes with it. */
static void UnplugAll(void) {
    LIST_ENTRY done;
    InitializeListHead(&done);
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    for (LIST_ENTRY* entry = g_bus.switches.Flink; entry != &g_bus.switches; entry = entry->Flink) {
        BusSwitch* sw = CONTAINING_RECORD(entry, BusSwitch, link);
        sw->unplugged = TRUE;
        BusFlushSwitch(sw, &done);
    }
    KeReleaseSpinLock(&g_bus.lock, irql);
    BusCompleteDone(&done);
}

static void DeleteAllSwitches(void) {
    while (!IsListEmpty(&g_bus.switches)) {
        BusSwitch* sw = CONTAINING_RECORD(RemoveHeadList(&g_bus.switches), BusSwitch, link);
        DeleteInterfaces(sw);
        IoDeleteDevice(sw->pdo);
        ExFreePoolWithTag(sw, BUS_POOL_TAG);
    }
}

static NTSTATUS RootPnp(BusNode* node, IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->MinorFunction) {
        case IRP_MN_START_DEVICE: {
            NTSTATUS status =
                g_bus.control ? STATUS_SUCCESS : BusControlCreate(g_bus.rootFdo->DriverObject);
            if (!NT_SUCCESS(status)) {
                return Complete(irp, status);
            }
            irp->IoStatus.Status = STATUS_SUCCESS;
            break;
        }
        case IRP_MN_QUERY_DEVICE_RELATIONS:
            if (stack->Parameters.QueryDeviceRelations.Type == BusRelations) {
                NTSTATUS status = RootRelations(irp);
                if (!NT_SUCCESS(status)) {
                    return Complete(irp, status);
                }
                irp->IoStatus.Status = STATUS_SUCCESS;
            }
            break;
        case IRP_MN_SURPRISE_REMOVAL:
            UnplugAll();
            irp->IoStatus.Status = STATUS_SUCCESS;
            break;
        case IRP_MN_REMOVE_DEVICE: {
            UnplugAll();
            BusControlDelete();
            DeleteAllSwitches();
            DEVICE_OBJECT* lower = node->lower;
            DEVICE_OBJECT* self = g_bus.rootFdo;
            g_bus.rootFdo = NULL;
            g_bus.rootPdo = NULL;
            irp->IoStatus.Status = STATUS_SUCCESS;
            IoSkipCurrentIrpStackLocation(irp);
            NTSTATUS status = IoCallDriver(lower, irp);
            IoDetachDevice(lower);
            IoDeleteDevice(self);
            return status;
        }
        default:
            break;
    }
    return PassDown(node, irp);
}

static NTSTATUS NewInterfaces(BusNode* node) {
    BusSwitch* sw = node->sw;
    for (ULONG i = 0; i < BUS_PIPES; ++i) {
        if (sw->pipes[i].pdo) {
            continue;
        }
        DEVICE_OBJECT* pdo;
        NTSTATUS status = NewNode(sw->pdo->DriverObject, BUS_INTERFACE_PDO, sw, i, &pdo);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        sw->pipes[i].pdo = pdo;
        pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    }
    return STATUS_SUCCESS;
}

static NTSTATUS SwitchFdoPnp(DEVICE_OBJECT* device, BusNode* node, IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    BusSwitch* sw = node->sw;
    switch (stack->MinorFunction) {
        case IRP_MN_START_DEVICE: {
            NTSTATUS status = NewInterfaces(node);
            if (!NT_SUCCESS(status)) {
                return Complete(irp, status);
            }
            /* Wine asks for a started device's children only when told. */
            IoInvalidateDeviceRelations(sw->pdo, BusRelations);
            irp->IoStatus.Status = STATUS_SUCCESS;
            break;
        }
        case IRP_MN_QUERY_DEVICE_RELATIONS:
            if (stack->Parameters.QueryDeviceRelations.Type == BusRelations) {
                KIRQL irql;
                KeAcquireSpinLock(&g_bus.lock, &irql);
                BOOLEAN present = !sw->unplugged && sw->pipes[0].pdo && sw->pipes[1].pdo;
                KeReleaseSpinLock(&g_bus.lock, irql);
                DEVICE_RELATIONS* relations = NewRelations(BUS_PIPES);
                for (ULONG i = 0; relations && present && i < BUS_PIPES; ++i) {
                    AddRelation(relations, sw->pipes[i].pdo);
                }
                NTSTATUS status = HandRelations(irp, relations);
                if (!NT_SUCCESS(status)) {
                    return Complete(irp, status);
                }
                irp->IoStatus.Status = STATUS_SUCCESS;
            }
            break;
        case IRP_MN_REMOVE_DEVICE: {
            DeleteInterfaces(sw);
            sw->fdo = NULL;
            /* The switch PDO below may free sw: nothing of it is used after. */
            DEVICE_OBJECT* lower = node->lower;
            irp->IoStatus.Status = STATUS_SUCCESS;
            IoSkipCurrentIrpStackLocation(irp);
            NTSTATUS status = IoCallDriver(lower, irp);
            IoDetachDevice(lower);
            IoDeleteDevice(device);
            return status;
        }
        default:
            break;
    }
    return PassDown(node, irp);
}

static void FlushInterfaceReads(BusSwitch* sw) {
    LIST_ENTRY done;
    InitializeListHead(&done);
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    BusFlushSwitch(sw, &done);
    KeReleaseSpinLock(&g_bus.lock, irql);
    BusCompleteDone(&done);
}

/* A PDO goes when Plug and Play removes it after its parent stopped
 * reporting it; the switch PDO takes the switch's record with it. */
static void RemovePdo(BusNode* node, DEVICE_OBJECT* device) {
    BusSwitch* sw = node->sw;
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    BOOLEAN gone = sw->unplugged;
    if (gone && node->kind == BUS_SWITCH_PDO) {
        RemoveEntryList(&sw->link);
    }
    KeReleaseSpinLock(&g_bus.lock, irql);
    if (!gone) {
        return;
    }
    if (node->kind == BUS_INTERFACE_PDO) {
        sw->pipes[node->pipe].pdo = NULL;
        IoDeleteDevice(device);
        return;
    }
    DeleteInterfaces(sw);
    IoDeleteDevice(device);
    ExFreePoolWithTag(sw, BUS_POOL_TAG);
}

static NTSTATUS PdoPnp(DEVICE_OBJECT* device, BusNode* node, IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = irp->IoStatus.Status;
    switch (stack->MinorFunction) {
        case IRP_MN_START_DEVICE:
        case IRP_MN_QUERY_STOP_DEVICE:
        case IRP_MN_CANCEL_STOP_DEVICE:
        case IRP_MN_STOP_DEVICE:
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
            status = STATUS_SUCCESS;
            break;
        case IRP_MN_SURPRISE_REMOVAL:
            FlushInterfaceReads(node->sw);
            status = STATUS_SUCCESS;
            break;
        case IRP_MN_REMOVE_DEVICE:
            FlushInterfaceReads(node->sw);
            Complete(irp, STATUS_SUCCESS);
            RemovePdo(node, device);
            return STATUS_SUCCESS;
        case IRP_MN_QUERY_ID: {
            ULONG_PTR information = 0;
            status = BusQueryId(node, stack->Parameters.QueryId.IdType, &information);
            if (NT_SUCCESS(status)) {
                irp->IoStatus.Information = information;
            }
            break;
        }
        case IRP_MN_QUERY_CAPABILITIES: {
            DEVICE_CAPABILITIES* caps = stack->Parameters.DeviceCapabilities.Capabilities;
            caps->Removable = 1;
            caps->SurpriseRemovalOK = 1;
            caps->SilentInstall = 1;
            status = STATUS_SUCCESS;
            break;
        }
        case IRP_MN_QUERY_DEVICE_RELATIONS:
            if (stack->Parameters.QueryDeviceRelations.Type == TargetDeviceRelation) {
                DEVICE_RELATIONS* relations = NewRelations(1);
                if (relations) {
                    AddRelation(relations, device);
                }
                status = HandRelations(irp, relations);
            }
            break;
        default:
            break;
    }
    return Complete(irp, status);
}

NTSTATUS BusPnp(DEVICE_OBJECT* device, IRP* irp) {
    BusNode* node = BusNodeOf(device);
    switch (node->kind) {
        case BUS_ROOT_FDO:
            return RootPnp(node, irp);
        case BUS_SWITCH_FDO:
            return SwitchFdoPnp(device, node, irp);
        case BUS_SWITCH_PDO:
        case BUS_INTERFACE_PDO:
            return PdoPnp(device, node, irp);
        default:
            return Complete(irp, STATUS_NOT_SUPPORTED);
    }
}
