// Writing output reports and installing read callbacks: owner thread only.
#include "hid/device_record.h"

namespace {

// The live, claimed record for handle and a pipe it has; last-error 87 and
// nullptr otherwise. A closed device can be neither written nor read.
IowKit2Device* LookupForIo(IowKit2Handle handle, unsigned pipe) {
    IowKit2Device* device = IowKit2FindDevice(handle);
    if (device == nullptr || device->stateMark != kIowKit2LiveMark || pipe >= kIowKit2PipeCount ||
        device->claimed.load() == 0) {
        IowKit2SetLastError(kIowKit2ErrorInvalidParameter);
        return nullptr;
    }
    return device;
}

}  // namespace

int IowKit2Write(IowKit2Handle handle, unsigned pipe, const uint8_t* buffer) {
    IowKit2Device* device = LookupForIo(handle, pipe);
    if (device == nullptr) {
        return 0;
    }
    IowKit2Pipe& slot = device->pipes[pipe];
    if (buffer == nullptr || !slot.writePort) {
        IowKit2SetLastError(kIowKit2ErrorInvalidParameter);
        return 0;
    }
    // The port waits alertably, and cancels and reaps a write that did not
    // finish, so nothing refers to this call's state once it returns.
    const uint32_t length = slot.hidCaps.outputReportLength;  // at most 64, checked when found
    const uint32_t code = slot.writePort->Write(buffer, length, device->writeTimeout);
    IowKit2SetLastError(code);
    return code == kIowKit2Success ? static_cast<int>(length) : 0;
}

int IowKit2SetReadCallback(IowKit2Handle handle, unsigned pipe, IowKit2ReadCallback callback,
                           void* context) {
    IowKit2Device* device = LookupForIo(handle, pipe);
    if (device == nullptr) {
        return 0;
    }
    IowKit2Pipe& slot = device->pipes[pipe];
    {
        std::lock_guard lock(slot.callbackLock);
        slot.readCallback = callback;
        slot.callbackContext = context;
    }
    IowKit2SetLastError(kIowKit2Success);
    return 1;
}
