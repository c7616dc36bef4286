/* The HID minidriver requests an interface PDO answers, and the report queues. */
#include "tests/hidbus/bus_driver.h"

/* Pipe 0: vendor-defined, no report ids, 4-byte input and output reports. */
static const UCHAR kPipe0Descriptor[] = {
    0x06, 0x00, 0xFF,  // usage page (vendor 0xFF00)
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection (application)
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size 8
    0x95, 0x04,        //   report count 4
    0x09, 0x02,        //   usage 2
    0x81, 0x02,        //   input (data, variable, absolute)
    0x09, 0x03,        //   usage 3
    0x91, 0x02,        //   output (data, variable, absolute)
    0xC0,              // end collection
};

/* Pipe 1, the special-mode interface: output reports 8 (channel enable) and 9
 * (transfer), input report 9, each with 7 data bytes after the id. */
static const UCHAR kPipe1Descriptor[] = {
    0x06, 0x00, 0xFF,  // usage page (vendor 0xFF00)
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection (application)
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size 8
    0x95, 0x07,        //   report count 7
    0x85, 0x08,        //   report id 8
    0x09, 0x02,        //   usage 2
    0x91, 0x02,        //   output (data, variable, absolute)
    0x85, 0x09,        //   report id 9
    0x09, 0x03,        //   usage 3
    0x81, 0x02,        //   input (data, variable, absolute)
    0x09, 0x04,        //   usage 4
    0x91, 0x02,        //   output (data, variable, absolute)
    0xC0,              // end collection
};

/* Pipe 0's whole report: the 0 id byte and 4 data bytes. */
#define PIPE0_REPORT_LENGTH 5

/* A pending write's place in its IRP. */
#define WRITE_TAG(irp) ((irp)->Tail.Overlay.DriverContext[0])
#define WRITE_SWITCH(irp) ((irp)->Tail.Overlay.DriverContext[1])
#define WRITE_PIPE(irp) ((irp)->Tail.Overlay.DriverContext[2])

static PeloHidXferPacket* WritePacket(IRP* irp) {
    return (PeloHidXferPacket*)irp->UserBuffer;
}

static void ServeReads(BusInterface* pipe, LIST_ENTRY* done) {
    while (pipe->queued > 0 && !IsListEmpty(&pipe->reads)) {
        IRP* read = BusTakeIrp(&pipe->reads);
        if (!read) {
            return;
        }
        ULONG size =
            IoGetCurrentIrpStackLocation(read)->Parameters.DeviceIoControl.OutputBufferLength;
        ULONG length = pipe->lengths[pipe->first];
        if (length > size) {
            length = size;
        }
        RtlCopyMemory(read->UserBuffer, pipe->reports[pipe->first], length);
        pipe->first = (pipe->first + 1) % BUS_QUEUED_INPUTS;
        --pipe->queued;
        BusAddDone(done, read, STATUS_SUCCESS, length);
    }
}

void BusPutInput(BusInterface* pipe, ULONG pipeIndex, const UCHAR* data, ULONG length,
                 LIST_ENTRY* done) {
    /* The class driver reads pipe 0's reports without their 0 id byte. */
    if (pipeIndex == 0 && length == PIPE0_REPORT_LENGTH) {
        ++data;
        --length;
    }
    if (pipe->queued == BUS_QUEUED_INPUTS) {
        pipe->first = (pipe->first + 1) % BUS_QUEUED_INPUTS;
        --pipe->queued;
    }
    ULONG slot = (pipe->first + pipe->queued) % BUS_QUEUED_INPUTS;
    RtlCopyMemory(pipe->reports[slot], data, length);
    pipe->lengths[slot] = length;
    ++pipe->queued;
    ServeReads(pipe, done);
}

static void FillWrite(IRP* request, IRP* write) {
    PeloBusWrite* out = (PeloBusWrite*)request->AssociatedIrp.SystemBuffer;
    const PeloHidXferPacket* packet = WritePacket(write);
    RtlZeroMemory(out, sizeof(*out));
    out->switchId = ((BusSwitch*)WRITE_SWITCH(write))->plug.switchId;
    out->pipe = (ULONG)(ULONG_PTR)WRITE_PIPE(write);
    out->writeTag = (ULONG)(ULONG_PTR)WRITE_TAG(write);
    ULONG offset = 0;
    ULONG length = packet->reportBufferLen;
    /* Without report ids the class driver passes the data alone (Wine's does):
     * the switch process gets the whole report, 0 id byte first. */
    if (out->pipe == 0 && length < PIPE0_REPORT_LENGTH) {
        out->data[0] = packet->reportId;
        offset = 1;
    }
    if (length > PELOBUS_MAX_REPORT - offset) {
        length = PELOBUS_MAX_REPORT - offset;
    }
    RtlCopyMemory(out->data + offset, packet->reportBuffer, length);
    out->length = offset + length;
}

void BusMatchWrites(LIST_ENTRY* done) {
    while (!IsListEmpty(&g_bus.nextWrites) && !IsListEmpty(&g_bus.waitingWrites)) {
        IRP* write = BusTakeIrp(&g_bus.waitingWrites);
        if (!write) {
            return;
        }
        IRP* request = BusTakeIrp(&g_bus.nextWrites);
        if (!request) {
            if (BusQueueIrp(&g_bus.waitingWrites, write) != STATUS_PENDING) {
                BusAddDone(done, write, STATUS_CANCELLED, 0);
            }
            return;
        }
        FillWrite(request, write);
        BusAddDone(done, request, STATUS_SUCCESS, sizeof(PeloBusWrite));
        if (BusQueueIrp(&g_bus.takenWrites, write) != STATUS_PENDING) {
            BusAddDone(done, write, STATUS_CANCELLED, 0);
        }
    }
}

static void FlushWrites(LIST_ENTRY* list, BusSwitch* sw, LIST_ENTRY* done) {
    LIST_ENTRY* entry = list->Flink;
    while (entry != list) {
        IRP* write = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        entry = entry->Flink;
        if ((BusSwitch*)WRITE_SWITCH(write) == sw && BusTakeThisIrp(write)) {
            BusAddDone(done, write, STATUS_DEVICE_NOT_CONNECTED, 0);
        }
    }
}

void BusFlushSwitch(BusSwitch* sw, LIST_ENTRY* done) {
    for (ULONG i = 0; i < BUS_PIPES; ++i) {
        BusInterface* pipe = &sw->pipes[i];
        IRP* read;
        while ((read = BusTakeIrp(&pipe->reads))) {
            BusAddDone(done, read, STATUS_DEVICE_NOT_CONNECTED, 0);
        }
        pipe->queued = 0;
    }
    FlushWrites(&g_bus.waitingWrites, sw, done);
    FlushWrites(&g_bus.takenWrites, sw, done);
}

static NTSTATUS Read(BusNode* node, IRP* irp) {
    LIST_ENTRY done;
    InitializeListHead(&done);
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    NTSTATUS status = STATUS_DEVICE_NOT_CONNECTED;
    if (!node->sw->unplugged) {
        BusInterface* pipe = &node->sw->pipes[node->pipe];
        status = BusQueueIrp(&pipe->reads, irp);
        ServeReads(pipe, &done);
    }
    KeReleaseSpinLock(&g_bus.lock, irql);
    BusCompleteDone(&done);
    return status;
}

static NTSTATUS Write(BusNode* node, IRP* irp) {
    const PeloHidXferPacket* packet = WritePacket(irp);
    if (!packet || !packet->reportBuffer) {
        return STATUS_INVALID_PARAMETER;
    }
    LIST_ENTRY done;
    InitializeListHead(&done);
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    NTSTATUS status = STATUS_DEVICE_NOT_CONNECTED;
    if (!node->sw->unplugged) {
        if (++g_bus.nextTag == 0) {
            g_bus.nextTag = 1;
        }
        WRITE_TAG(irp) = (PVOID)(ULONG_PTR)g_bus.nextTag;
        WRITE_SWITCH(irp) = node->sw;
        WRITE_PIPE(irp) = (PVOID)(ULONG_PTR)node->pipe;
        status = BusQueueIrp(&g_bus.waitingWrites, irp);
        BusMatchWrites(&done);
    }
    KeReleaseSpinLock(&g_bus.lock, irql);
    BusCompleteDone(&done);
    return status;
}

/* Ends a write handed out by NEXT_WRITE; false if no such write waits. */
BOOLEAN BusCompleteWrite(ULONG tag, BOOLEAN succeeded) {
    IRP* found = NULL;
    KIRQL irql;
    KeAcquireSpinLock(&g_bus.lock, &irql);
    for (LIST_ENTRY* entry = g_bus.takenWrites.Flink; entry != &g_bus.takenWrites;
         entry = entry->Flink) {
        IRP* write = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if ((ULONG)(ULONG_PTR)WRITE_TAG(write) == tag) {
            found = BusTakeThisIrp(write) ? write : NULL;
            break;
        }
    }
    KeReleaseSpinLock(&g_bus.lock, irql);
    if (!found) {
        return FALSE;
    }
    if (succeeded) {
        BusCompleteNow(found, STATUS_SUCCESS, WritePacket(found)->reportBufferLen);
    } else {
        BusCompleteNow(found, STATUS_UNSUCCESSFUL, 0);
    }
    return TRUE;
}

static NTSTATUS CopyOut(IRP* irp, ULONG size, const void* data, ULONG length) {
    if (size < length) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    RtlCopyMemory(irp->UserBuffer, data, length);
    irp->IoStatus.Information = length;
    return STATUS_SUCCESS;
}

static NTSTATUS GetString(BusNode* node, IRP* irp, ULONG size) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG id = (ULONG)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xFFFF;
    /* Wine's class driver asks with its own serial-number id (3). */
    if (id != PELO_HID_STRING_ID_ISERIALNUMBER && id != 3) {
        return STATUS_NOT_SUPPORTED;
    }
    const wchar_t* serial = node->sw->plug.serial;
    ULONG chars = 0;
    while (chars < PELOBUS_SERIAL_CHARS - 1 && serial[chars]) {
        ++chars;
    }
    if (size < sizeof(wchar_t)) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    if ((chars + 1) * sizeof(wchar_t) > size) {
        chars = size / sizeof(wchar_t) - 1;
    }
    wchar_t* out = (wchar_t*)irp->UserBuffer;
    RtlCopyMemory(out, serial, chars * sizeof(wchar_t));
    out[chars] = 0;
    irp->IoStatus.Information = (chars + 1) * sizeof(wchar_t);
    return STATUS_SUCCESS;
}

NTSTATUS BusInterfaceInternalIoctl(DEVICE_OBJECT* device, IRP* irp) {
    BusNode* node = BusNodeOf(device);
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const UCHAR* descriptor = node->pipe == 0 ? kPipe0Descriptor : kPipe1Descriptor;
    USHORT descriptorLength = node->pipe == 0 ? sizeof(kPipe0Descriptor) : sizeof(kPipe1Descriptor);
    NTSTATUS status;
    irp->IoStatus.Information = 0;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case PELO_IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
            PeloHidDescriptor hid = {sizeof(PeloHidDescriptor),
                                     PELO_HID_HID_DESCRIPTOR_TYPE,
                                     0x0111,
                                     0,
                                     1,
                                     PELO_HID_REPORT_DESCRIPTOR_TYPE,
                                     descriptorLength};
            status = CopyOut(irp, size, &hid, sizeof(hid));
            break;
        }
        case PELO_IOCTL_HID_GET_REPORT_DESCRIPTOR:
            status = CopyOut(irp, size, descriptor, descriptorLength);
            break;
        case PELO_IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
            PeloHidDeviceAttributes attributes = {0};
            attributes.Size = sizeof(attributes);
            attributes.VendorID = node->sw->plug.vendorId;
            attributes.ProductID = node->sw->plug.productId;
            attributes.VersionNumber = node->sw->plug.versionNumber;
            status = CopyOut(irp, size, &attributes, sizeof(attributes));
            break;
        }
        case PELO_IOCTL_HID_GET_STRING:
            status = GetString(node, irp, size);
            break;
        case PELO_IOCTL_HID_READ_REPORT:
            status = Read(node, irp);
            break;
        case PELO_IOCTL_HID_WRITE_REPORT:
            status = Write(node, irp);
            break;
        case PELO_IOCTL_HID_ACTIVATE_DEVICE:
        case PELO_IOCTL_HID_DEACTIVATE_DEVICE:
            status = STATUS_SUCCESS;
            break;
        default:
            status = STATUS_NOT_SUPPORTED;
            break;
    }
    if (status != STATUS_PENDING) {
        irp->IoStatus.Status = status;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
    }
    return status;
}
