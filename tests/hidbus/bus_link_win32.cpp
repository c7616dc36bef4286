#include "tests/hidbus/bus_link_win32.h"

#include <algorithm>
#include <cstring>

using iowkit2_win32::AdoptFileHandle;
using iowkit2_win32::UniqueHandle;

namespace {

constexpr DWORD kRetryMs = 50;

UniqueHandle OpenControl(DWORD flags) {
    return AdoptFileHandle(CreateFileW(PELOBUS_USER_PATH, GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, flags, nullptr));
}

}  // namespace

BusLink::BusLink(UniqueHandle control, UniqueHandle writes, UniqueHandle writeEvent)
    : control_(std::move(control)), writes_(std::move(writes)), writeEvent_(std::move(writeEvent)) {}

std::unique_ptr<BusLink> BusLink::Open(DWORD waitMs) {
    // The driver stack starts asynchronously with the prefix.
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    UniqueHandle control = OpenControl(0);
    while (!control && GetTickCount64() < deadline) {
        Sleep(kRetryMs);
        control = OpenControl(0);
    }
    UniqueHandle writes = OpenControl(FILE_FLAG_OVERLAPPED);
    UniqueHandle writeEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!control || !writes || !writeEvent) {
        return nullptr;
    }
    return std::unique_ptr<BusLink>(
        new BusLink(std::move(control), std::move(writes), std::move(writeEvent)));
}

bool BusLink::Control(DWORD code, const void* in, DWORD inSize) {
    DWORD returned = 0;
    return DeviceIoControl(control_.get(), code, const_cast<void*>(in), inSize, nullptr, 0,
                           &returned, nullptr) != FALSE;
}

bool BusLink::Plug(uint32_t switchId, uint16_t productId, uint16_t versionNumber,
                   const std::u16string& serialNumber) {
    PeloBusPlug plug{};
    plug.switchId = switchId;
    plug.vendorId = hidsim::kSwitchVendorId;
    plug.productId = productId;
    plug.versionNumber = versionNumber;
    const size_t length = std::min<size_t>(serialNumber.size(), PELOBUS_SERIAL_CHARS - 1);
    std::memcpy(plug.serial, serialNumber.data(), length * sizeof(char16_t));
    return Control(PELOBUS_IOCTL_PLUG, &plug, sizeof plug);
}

bool BusLink::Unplug(uint32_t switchId) {
    PeloBusUnplug unplug{switchId};
    return Control(PELOBUS_IOCTL_UNPLUG, &unplug, sizeof unplug);
}

bool BusLink::Input(uint32_t switchId, unsigned pipe, const uint8_t* report, size_t size) {
    PeloBusInput input{};
    input.switchId = switchId;
    input.pipe = pipe;
    input.length = static_cast<uint32_t>(std::min<size_t>(size, PELOBUS_MAX_REPORT));
    std::memcpy(input.data, report, input.length);
    return Control(PELOBUS_IOCTL_INPUT, &input, sizeof input);
}

bool BusLink::CompleteWrite(uint32_t writeTag, bool succeeded) {
    PeloBusCompleteWrite complete{writeTag, succeeded ? 1 : 0};
    return Control(PELOBUS_IOCTL_COMPLETE_WRITE, &complete, sizeof complete);
}

std::optional<PeloBusWrite> BusLink::NextWrite(HANDLE stop) {
    PeloBusWrite write{};
    OVERLAPPED overlapped{};
    overlapped.hEvent = writeEvent_.get();
    ResetEvent(overlapped.hEvent);
    DWORD returned = 0;
    if (!DeviceIoControl(writes_.get(), PELOBUS_IOCTL_NEXT_WRITE, nullptr, 0, &write,
                         sizeof write, &returned, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        return std::nullopt;
    }
    const HANDLE waits[] = {overlapped.hEvent, stop};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        // Stopped: the request must be finished before its buffers go.
        CancelIo(writes_.get());
    }
    if (!GetOverlappedResult(writes_.get(), &overlapped, &returned, TRUE) ||
        returned < offsetof(PeloBusWrite, data)) {
        return std::nullopt;
    }
    return write;
}
