/*
 * Plug and Play ids of the bus's nodes. Instance ids carry the switch id, so
 * a node's ancestors can be named from its own id (the test cfgmgr32.dll
 * relies on it):
 *
 *   switch      PELORANDIXBUS\SWITCH\0000002A
 *   interface   PELORANDIXBUS\VID_1214&PID_03EB&MI_00\PELORANDIXBUS&0000002A
 *   collection  HID\VID_1214&PID_03EB&MI_00\PELORANDIXBUS&0000002A  (hidclass)
 */
#include "tests/hidbus/bus_driver.h"

#define ID_CHARS 96

typedef struct IdText {
    WCHAR text[ID_CHARS];
    ULONG length;
} IdText;

static void Put(IdText* id, const WCHAR* text) {
    while (*text && id->length < ID_CHARS - 2) {
        id->text[id->length++] = *text++;
    }
}

static void PutHex(IdText* id, ULONG value, ULONG digits) {
    while (digits-- > 0 && id->length < ID_CHARS - 2) {
        id->text[id->length++] = L"0123456789ABCDEF"[(value >> (4 * digits)) & 0xF];
    }
}

/* Hands the id to the caller in pool memory with two terminators, which also
 * makes it a one-entry hardware or compatible id list. */
static NTSTATUS Hand(const IdText* id, ULONG_PTR* information) {
    ULONG bytes = (id->length + 2) * sizeof(WCHAR);
    WCHAR* out = (WCHAR*)ExAllocatePoolWithTag(PagedPool, bytes, BUS_POOL_TAG);
    if (!out) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    RtlCopyMemory(out, id->text, id->length * sizeof(WCHAR));
    out[id->length] = 0;
    out[id->length + 1] = 0;
    *information = (ULONG_PTR)out;
    return STATUS_SUCCESS;
}

static void InterfaceDeviceId(const BusNode* node, IdText* id) {
    Put(id, L"PELORANDIXBUS\\VID_");
    PutHex(id, node->sw->plug.vendorId, 4);
    Put(id, L"&PID_");
    PutHex(id, node->sw->plug.productId, 4);
    Put(id, L"&MI_");
    PutHex(id, node->pipe, 2);
}

NTSTATUS BusQueryId(BusNode* node, BUS_QUERY_ID_TYPE type, ULONG_PTR* information) {
    BOOLEAN isSwitch = node->kind == BUS_SWITCH_PDO;
    IdText id = {{0}, 0};
    switch (type) {
        case BusQueryDeviceID:
        case BusQueryHardwareIDs:
            if (isSwitch) {
                Put(&id, L"PELORANDIXBUS\\SWITCH");
            } else {
                InterfaceDeviceId(node, &id);
            }
            return Hand(&id, information);
        case BusQueryCompatibleIDs:
            /* Wine installs a device only if it has this list, empty or not. */
            if (!isSwitch) {
                Put(&id, L"PELORANDIXBUS\\HID_INTERFACE");
            }
            return Hand(&id, information);
        case BusQueryInstanceID:
            if (!isSwitch) {
                Put(&id, L"PELORANDIXBUS&");
            }
            PutHex(&id, node->sw->plug.switchId, 8);
            return Hand(&id, information);
        default:
            return STATUS_NOT_SUPPORTED;
    }
}
