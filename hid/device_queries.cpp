// The small operations the program calls on a handle: properties and claim.
// They work on closed records still in a list, so that the program can read
// a removed device's properties and release its claim.
#include "hid/device_record.h"
#include "hid/serial_number.h"

namespace {

// The known record for handle, with last-error 87 when there is none.
IowKit2Device* Lookup(IowKit2Handle handle) {
    IowKit2Device* device = IowKit2FindKnownDevice(handle);
    if (device == nullptr) {
        IowKit2SetLastError(kIowKit2ErrorInvalidParameter);
    }
    return device;
}

}  // namespace

int IowKit2GetProductId(IowKit2Handle handle) {
    IowKit2Device* device = Lookup(handle);
    if (device == nullptr) {
        return 0;
    }
    IowKit2SetLastError(kIowKit2Success);
    return device->pipes[0].hidAttr.productId;
}

int IowKit2GetRevision(IowKit2Handle handle) {
    IowKit2Device* device = Lookup(handle);
    if (device == nullptr) {
        return 0;
    }
    IowKit2SetLastError(kIowKit2Success);
    return device->pipes[0].hidAttr.versionNumber;
}

uint32_t IowKit2GetSerialNumber(IowKit2Handle handle) {
    IowKit2Device* device = Lookup(handle);
    if (device == nullptr) {
        return 0;
    }
    const uint32_t serialNumber = IowKit2ParseSerialNumber(device->serialNumber);
    IowKit2SetLastError(kIowKit2Success);
    return serialNumber;
}

int IowKit2SetClaimed(IowKit2Handle handle, int value) {
    IowKit2Device* device = Lookup(handle);
    if (device == nullptr) {
        return 0;
    }
    device->claimed = value;
    IowKit2SetLastError(kIowKit2Success);
    return 1;
}
