// The small operations the program calls on a handle: properties and claim.
// They work on closed records still in a list, so that the program can read
// a removed device's properties and release its claim.
#include "hid/device_record.h"
#include "hid/serial_number.h"

namespace {

// Runs operation on the known record for handle and returns its result with
// last-error 0; returns 0 with last-error 87 when there is no such record.
template <typename Operation>
auto OnKnownDevice(IowKit2Handle handle, Operation operation) -> decltype(operation(*handle)) {
    IowKit2Device* device = IowKit2FindKnownDevice(handle);
    if (device == nullptr) {
        IowKit2SetLastError(kIowKit2ErrorInvalidParameter);
        return 0;
    }
    const auto result = operation(*device);
    IowKit2SetLastError(kIowKit2Success);
    return result;
}

}  // namespace

int IowKit2GetProductId(IowKit2Handle handle) {
    return OnKnownDevice(
        handle, [](IowKit2Device& device) -> int { return device.pipes[0].hidAttr.productId; });
}

int IowKit2GetRevision(IowKit2Handle handle) {
    return OnKnownDevice(
        handle, [](IowKit2Device& device) -> int { return device.pipes[0].hidAttr.versionNumber; });
}

uint32_t IowKit2GetSerialNumber(IowKit2Handle handle) {
    return OnKnownDevice(handle, [](IowKit2Device& device) {
        return IowKit2ParseSerialNumber(device.serialNumber);
    });
}

int IowKit2SetClaimed(IowKit2Handle handle, int value) {
    return OnKnownDevice(handle, [value](IowKit2Device& device) {
        device.claimed = value;
        return 1;
    });
}
