#include "tests/hidbus/bus_link_win32.h"

#include <dbt.h>
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>

using iowkit2_win32::AdoptFileHandle;
using iowkit2_win32::UniqueHandle;

namespace {

constexpr DWORD kRetryMs = 50;
constexpr DWORD kInterfacesPerSwitch = 2;
constexpr size_t kLongestPath = 512;
// The HID interface class (GUID_DEVINTERFACE_HID).
constexpr GUID kHidInterfaceClass = {
    0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The HID interfaces of the switch that open: their paths carry the bus's
// name and the switch id. (Wine's device set still lists an interface for a
// while after its device went.)
DWORD CountHidInterfaces(uint32_t switchId) {
    wchar_t mark[32];
    std::swprintf(mark, 32, L"#pelorandixbus&%08x#", switchId);
    HDEVINFO set = SetupDiGetClassDevsW(&kHidInterfaceClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD count = 0;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(set, nullptr, &kHidInterfaceClass, index, &interfaceData);
         ++index) {
        union {
            SP_DEVICE_INTERFACE_DETAIL_DATA_W detail;
            wchar_t room[kLongestPath];
        } storage{};
        storage.detail.cbSize = sizeof storage.detail;
        if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, &storage.detail, sizeof storage,
                                              nullptr, nullptr)) {
            continue;
        }
        std::wstring path(storage.detail.DevicePath);
        for (wchar_t& c : path) {
            c = towlower(c);
        }
        if (path.find(mark) != std::wstring::npos &&
            AdoptFileHandle(CreateFileW(storage.detail.DevicePath, 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr))) {
            ++count;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return count;
}

UniqueHandle OpenControl(DWORD flags) {
    return AdoptFileHandle(CreateFileW(PELOBUS_USER_PATH, GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       flags, nullptr));
}

}  // namespace

BusLink::BusLink(UniqueHandle control, UniqueHandle writes, UniqueHandle writeEvent)
    : control_(std::move(control)),
      writes_(std::move(writes)),
      writeEvent_(std::move(writeEvent)) {}

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

bool BusLink::AwaitHidInterfaces(uint32_t switchId, bool present, DWORD limitMs) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    const DWORD wanted = present ? kInterfacesPerSwitch : 0;
    while (CountHidInterfaces(switchId) != wanted) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(kRetryMs / 5);
    }
    return true;
}

void BusLink::BroadcastDevicesChanged() {
    PostMessageW(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
}

std::optional<PeloBusWrite> BusLink::NextWrite(HANDLE stop) {
    PeloBusWrite write{};
    OVERLAPPED overlapped{};
    overlapped.hEvent = writeEvent_.get();
    ResetEvent(overlapped.hEvent);
    DWORD returned = 0;
    if (!DeviceIoControl(writes_.get(), PELOBUS_IOCTL_NEXT_WRITE, nullptr, 0, &write, sizeof write,
                         &returned, &overlapped) &&
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
