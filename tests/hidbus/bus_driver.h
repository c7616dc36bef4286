/*
 * pelobus.sys: a Plug and Play bus of virtual Pelorandix switches for Wine's
 * HID stack. The tree it builds is the one a USB switch has on Windows:
 *
 *   ROOT\PELORANDIXBUS          root FDO (this driver), owns the control device
 *   -> PELORANDIXBUS\SWITCH     one PDO per plugged switch; its FDO is ours too
 *      -> PELORANDIXBUS\VID_1214&PID_xxxx&MI_0n   two interface PDOs, driven
 *         by pelohid.sys under hidclass.sys, which adds the HID collection.
 *
 * The driver only moves reports between the HID class driver and the
 * user-mode switch process (bus_control.h); the switch's logic lives there.
 */
#ifndef PELORANDIX_TESTS_HIDBUS_BUS_DRIVER_H
#define PELORANDIX_TESTS_HIDBUS_BUS_DRIVER_H

#include <ddk/wdm.h>

#include "tests/hidbus/bus_control.h"
#include "tests/hidbus/hid_minidriver.h"

#define BUS_POOL_TAG 0x6f6c6550 /* 'Pelo' */
#define BUS_PIPES 2
#define BUS_QUEUED_INPUTS 64

typedef enum BusNodeKind {
    BUS_ROOT_FDO,
    BUS_CONTROL,
    BUS_SWITCH_PDO,
    BUS_SWITCH_FDO,
    BUS_INTERFACE_PDO,
} BusNodeKind;

/* One HID interface of a switch: its PDO, the HID class driver's pending
 * reads and the input reports no read has taken yet (as the class driver
 * reads them: without a report id on pipe 0). */
typedef struct BusInterface {
    DEVICE_OBJECT* pdo;
    LIST_ENTRY reads;
    ULONG first;
    ULONG queued;
    ULONG lengths[BUS_QUEUED_INPUTS];
    UCHAR reports[BUS_QUEUED_INPUTS][PELOBUS_MAX_REPORT];
} BusInterface;

typedef struct BusSwitch {
    LIST_ENTRY link;
    PeloBusPlug plug;
    BOOLEAN unplugged; /* no longer reported by the root; its nodes go */
    DEVICE_OBJECT* pdo;
    DEVICE_OBJECT* fdo;
    BusInterface pipes[BUS_PIPES];
} BusSwitch;

/* The device extension of every device object of this driver. */
typedef struct BusNode {
    BusNodeKind kind;
    DEVICE_OBJECT* lower; /* FDOs: the device object below */
    BusSwitch* sw;        /* switch PDO and FDO, interface PDOs */
    ULONG pipe;           /* interface PDOs */
} BusNode;

/* The bus's state; one root device. The lists and the tag are guarded by lock. */
typedef struct BusState {
    KSPIN_LOCK lock;
    LIST_ENTRY switches;
    LIST_ENTRY nextWrites;    /* pending NEXT_WRITE requests */
    LIST_ENTRY waitingWrites; /* output reports no NEXT_WRITE has taken yet */
    LIST_ENTRY takenWrites;   /* handed out, waiting for COMPLETE_WRITE */
    ULONG nextTag;
    DEVICE_OBJECT* rootFdo;
    DEVICE_OBJECT* rootPdo;
    DEVICE_OBJECT* control;
} BusState;

extern BusState g_bus;

static inline BusNode* BusNodeOf(DEVICE_OBJECT* device) {
    return (BusNode*)device->DeviceExtension;
}

/* bus_irp_queue.c: cancel-safe IRP lists, used with g_bus.lock held. */
NTSTATUS BusQueueIrp(LIST_ENTRY* list, IRP* irp);
IRP* BusTakeIrp(LIST_ENTRY* list);
BOOLEAN BusTakeThisIrp(IRP* irp);
/* Moves a taken IRP to a list of IRPs to complete once the lock is let go. */
void BusAddDone(LIST_ENTRY* done, IRP* irp, NTSTATUS status, ULONG_PTR information);
void BusCompleteDone(LIST_ENTRY* done);
void BusCompleteNow(IRP* irp, NTSTATUS status, ULONG_PTR information);

/* bus_reports.c: the HID minidriver requests an interface PDO answers. */
NTSTATUS BusInterfaceInternalIoctl(DEVICE_OBJECT* device, IRP* irp);
/* With the lock held: fails the reads and writes of a switch that leaves. */
void BusFlushSwitch(BusSwitch* sw, LIST_ENTRY* done);
/* With the lock held: hands waiting output reports to pending NEXT_WRITEs. */
void BusMatchWrites(LIST_ENTRY* done);
/* Ends a write handed out by NEXT_WRITE; false if no such write waits. */
BOOLEAN BusCompleteWrite(ULONG tag, BOOLEAN succeeded);
/* With the lock held: an input report for an interface's next read. */
void BusPutInput(BusInterface* pipe, ULONG pipeIndex, const UCHAR* data, ULONG length,
                 LIST_ENTRY* done);

/* bus_control.c: the control device's requests. */
NTSTATUS BusControlCreate(DRIVER_OBJECT* driver);
void BusControlDelete(void);
NTSTATUS BusControlIoctl(IRP* irp);
void BusControlCleanup(IRP* irp);

/* bus_pnp.c */
NTSTATUS NTAPI BusAddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* pdo);
NTSTATUS BusPnp(DEVICE_OBJECT* device, IRP* irp);
/* With the lock held: the switch with that id still on the bus, or NULL. */
BusSwitch* BusFindSwitch(ULONG switchId);

/* bus_ids.c: the Plug and Play ids of the switch and interface PDOs. */
NTSTATUS BusQueryId(BusNode* node, BUS_QUERY_ID_TYPE type, ULONG_PTR* information);

#endif
