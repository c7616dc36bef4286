/* Pending IRPs in lists guarded by g_bus.lock, each cancelable until taken. */
#include "tests/hidbus/bus_driver.h"

static void NTAPI CancelQueued(DEVICE_OBJECT* device, IRP* irp) {
    (void)device;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    /* A taker that lost the race left the entry linked to itself. */
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    InitializeListHead(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&g_bus.lock, irql);
    BusCompleteNow(irp, STATUS_CANCELLED, 0);
}

NTSTATUS BusQueueIrp(LIST_ENTRY* list, IRP* irp) {
    IoSetCancelRoutine(irp, CancelQueued);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
        return STATUS_CANCELLED;
    }
    IoMarkIrpPending(irp);
    InsertTailList(list, &irp->Tail.Overlay.ListEntry);
    return STATUS_PENDING;
}

BOOLEAN BusTakeThisIrp(IRP* irp) {
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    InitializeListHead(&irp->Tail.Overlay.ListEntry);
    /* No cancel routine left: it runs now and completes the IRP itself. */
    return IoSetCancelRoutine(irp, NULL) != NULL;
}

IRP* BusTakeIrp(LIST_ENTRY* list) {
    while (!IsListEmpty(list)) {
        IRP* irp = CONTAINING_RECORD(list->Flink, IRP, Tail.Overlay.ListEntry);
        if (BusTakeThisIrp(irp)) {
            return irp;
        }
    }
    return NULL;
}

void BusAddDone(LIST_ENTRY* done, IRP* irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    InsertTailList(done, &irp->Tail.Overlay.ListEntry);
}

void BusCompleteDone(LIST_ENTRY* done) {
    while (!IsListEmpty(done)) {
        LIST_ENTRY* entry = RemoveHeadList(done);
        IoCompleteRequest(CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry), IO_NO_INCREMENT);
    }
}

void BusCompleteNow(IRP* irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}
