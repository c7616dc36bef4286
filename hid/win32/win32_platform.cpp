#include "hid/win32/win32_platform.h"

#include <cstddef>
#include <cstring>

#include "hid/win32/event_signal.h"
#include "hid/win32/hid_probe.h"
#include "hid/win32/read_port.h"
#include "hid/win32/write_port.h"

namespace {

// SetupDiGetClassDevsA: present devices only, listed by interface class.
constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
static_assert(kPresentInterfaces == 0x12);

constexpr size_t kDevicePathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
// A Win32 path is at most 32767 characters; longer details are not paths.
constexpr DWORD kLongestDetailBytes = kDevicePathOffset + 32768;

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Releases a device-information set through the looked-up function.
class DeviceInfoSet {
  public:
    DeviceInfoSet(HDEVINFO set, decltype(&::SetupDiDestroyDeviceInfoList) destroy)
        : set_(set), destroy_(destroy) {}
    ~DeviceInfoSet() { destroy_(set_); }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    HDEVINFO get() const { return set_; }

  private:
    HDEVINFO set_;
    decltype(&::SetupDiDestroyDeviceInfoList) destroy_;
};

// The path and device node of one interface, or none when its detail
// cannot be had.
std::optional<IowKit2InterfaceEntry> GetInterfaceDetail(const IowKit2HidFunctions& f, HDEVINFO set,
                                                        SP_DEVICE_INTERFACE_DATA& interfaceData) {
    DWORD needed = 0;
    f.SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &needed, nullptr);
    if (needed <= kDevicePathOffset || needed > kLongestDetailBytes) {
        return std::nullopt;
    }
    // DWORD elements keep the detail record aligned.
    std::vector<DWORD> storage((needed + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA devinfo{};
    devinfo.cbSize = sizeof(devinfo);
    if (!f.SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, needed, nullptr,
                                            &devinfo)) {
        return std::nullopt;
    }
    const size_t pathRoom = needed - kDevicePathOffset;
    std::string devicePath(detail->DevicePath, strnlen(detail->DevicePath, pathRoom));
    if (devicePath.empty()) {
        return std::nullopt;
    }
    return IowKit2InterfaceEntry{std::move(devicePath), devinfo.DevInst};
}

iowkit2_win32::UniqueHandle OpenFile(const std::string& devicePath, DWORD access, DWORD flags) {
    return iowkit2_win32::AdoptFileHandle(CreateFileA(devicePath.c_str(), access, kShareReadWrite,
                                                      nullptr, OPEN_EXISTING, flags, nullptr));
}

}  // namespace

bool IowKit2Win32Platform::IsLoaded() const {
    const IowKit2HidFunctions& f = functions_;
    return f.HidD_GetAttributes && f.HidD_GetHidGuid && f.HidD_GetPreparsedData && f.HidP_GetCaps &&
           f.HidD_FreePreparsedData && f.HidD_GetNumInputBuffers && f.HidD_SetNumInputBuffers &&
           f.HidD_GetSerialNumberString && f.HidD_GetIndexedString && f.CM_Get_Parent &&
           f.SetupDiGetDeviceInterfaceDetailA && f.SetupDiGetClassDevsA &&
           f.SetupDiEnumDeviceInterfaces && f.SetupDiDestroyDeviceInfoList;
}

uint32_t IowKit2Win32Platform::Load() {
    if (IowKit2LoadPlatform(libraries_, functions_)) {
        return ERROR_SUCCESS;
    }
    const DWORD code = GetLastError();
    return code != ERROR_SUCCESS ? code : ERROR_PROC_NOT_FOUND;
}

void IowKit2Win32Platform::Unload() {
    IowKit2UnloadPlatform(libraries_, functions_);
}

bool IowKit2Win32Platform::VisitHidInterfaces(
    const std::function<void(const IowKit2InterfaceEntry&)>& visit) {
    if (!IsLoaded()) {
        return false;
    }
    const IowKit2HidFunctions& f = functions_;
    GUID hidGuid{};
    f.HidD_GetHidGuid(&hidGuid);
    HDEVINFO set = f.SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, kPresentInterfaces);
    if (set == INVALID_HANDLE_VALUE || set == nullptr) {
        return false;
    }
    // Destroyed only after the last visit: Wine's device nodes belong to the
    // set and stop resolving with it.
    DeviceInfoSet devices(set, f.SetupDiDestroyDeviceInfoList);
    for (DWORD memberIndex = 0;; ++memberIndex) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!f.SetupDiEnumDeviceInterfaces(devices.get(), nullptr, &hidGuid, memberIndex,
                                           &interfaceData)) {
            break;
        }
        if (auto entry = GetInterfaceDetail(f, devices.get(), interfaceData)) {
            visit(*entry);
        }
    }
    return true;
}

std::optional<uint32_t> IowKit2Win32Platform::GetParent(uint32_t node) {
    if (!IsLoaded()) {
        return std::nullopt;
    }
    DEVINST parent = 0;
    if (functions_.CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) {
        return std::nullopt;
    }
    return parent;
}

std::unique_ptr<IowKit2Probe> IowKit2Win32Platform::OpenProbe(const std::string& devicePath) {
    if (!IsLoaded()) {
        return nullptr;
    }
    auto file = OpenFile(devicePath, GENERIC_READ | GENERIC_WRITE, 0);
    if (!file) {
        // Attributes and strings can still be read without access rights.
        file = OpenFile(devicePath, 0, 0);
    }
    if (!file) {
        return nullptr;
    }
    return std::make_unique<IowKit2Win32Probe>(std::move(file), functions_);
}

std::unique_ptr<IowKit2ReadPort> IowKit2Win32Platform::OpenReadPort(const std::string& devicePath) {
    if (!IsLoaded()) {
        return nullptr;
    }
    auto file = OpenFile(devicePath, GENERIC_READ, FILE_FLAG_OVERLAPPED);
    if (!file) {
        return nullptr;
    }
    return std::make_unique<IowKit2Win32ReadPort>(std::move(file),
                                                  functions_.HidD_SetNumInputBuffers);
}

std::unique_ptr<IowKit2WritePort> IowKit2Win32Platform::OpenWritePort(
    const std::string& devicePath) {
    auto file = OpenFile(devicePath, GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
    if (!file) {
        return nullptr;
    }
    return std::make_unique<IowKit2Win32WritePort>(std::move(file), functions_.HidD_GetAttributes);
}

std::unique_ptr<IowKit2Signal> IowKit2Win32Platform::CreateSignal() {
    return IowKit2EventSignal::Create();
}

uint32_t IowKit2Win32Platform::CreateHeap(size_t initialBytes) {
    if (heap_) {
        return ERROR_SUCCESS;
    }
    // Serialized (safe for several threads) and growable without limit.
    heap_.reset(HeapCreate(0, initialBytes, 0));
    if (heap_) {
        return ERROR_SUCCESS;
    }
    const DWORD code = GetLastError();
    return code != ERROR_SUCCESS ? code : ERROR_NOT_ENOUGH_MEMORY;
}

void IowKit2Win32Platform::DestroyHeap() {
    heap_.reset();
}

void* IowKit2Win32Platform::HeapAllocate(size_t bytes) {
    return heap_ ? HeapAlloc(heap_.get(), HEAP_ZERO_MEMORY, bytes) : nullptr;
}

void IowKit2Win32Platform::HeapRelease(void* block) {
    if (heap_ && block) {
        HeapFree(heap_.get(), 0, block);
    }
}
