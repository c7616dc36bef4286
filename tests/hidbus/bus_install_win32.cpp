// pelorandix-bus-install.exe: puts the test bus into the Wine prefix it runs in,
// takes it out again, or waits until its control device answers.
//
//   pelorandix-bus-install install   drivers to system32\drivers, the INF, the
//                                    root device ROOT\PELORANDIXBUS (nothing
//                                    happens when it is there with these
//                                    drivers; other drivers are replaced)
//   pelorandix-bus-install remove    the bus's devices, services, INF and files
//   pelorandix-bus-install wait [s]  until \\.\PelorandixBus opens (20 s default)
//
// The .sys files and the INF are taken from the tool's own folder.
#include <windows.h>
// clang-format off
#include <winioctl.h>
#include <devguid.h>
#include <newdev.h>
#include <setupapi.h>
// clang-format on

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "hid/win32/unique_handles.h"
#include "tests/hidbus/bus_control.h"

namespace {

using iowkit2_win32::AdoptFileHandle;
using iowkit2_win32::UniqueHandle;

constexpr wchar_t kRootInstanceId[] = L"ROOT\\PELORANDIXBUS\\0000";
constexpr wchar_t kRootHardwareIds[] = L"ROOT\\PELORANDIXBUS\0";  // with the list's end
constexpr wchar_t kInfName[] = L"pelorandix-bus.inf";
constexpr const wchar_t* kDrivers[] = {L"pelobus.sys", L"pelohid.sys"};
// The minidriver's service first: it sits above the bus's.
constexpr const wchar_t* kServices[] = {L"pelohid", L"pelobus"};

struct DeviceListDestroyer {
    void operator()(HDEVINFO set) const { SetupDiDestroyDeviceInfoList(set); }
};
using UniqueDeviceList = std::unique_ptr<void, DeviceListDestroyer>;

struct ServiceCloser {
    void operator()(SC_HANDLE service) const { CloseServiceHandle(service); }
};
using UniqueService = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceCloser>;

int Fail(const char* step) {
    std::fprintf(stderr, "pelorandix-bus-install: %s failed, error %lu\n", step, GetLastError());
    return 1;
}

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring DriversFolder() {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\drivers\\";
}

UniqueDeviceList NewDeviceList() {
    HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_SYSTEM, nullptr);
    return UniqueDeviceList(set == INVALID_HANDLE_VALUE ? nullptr : set);
}

SP_DEVINFO_DATA DeviceData() {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    return device;
}

bool RootDevicePresent() {
    UniqueDeviceList set = NewDeviceList();
    SP_DEVINFO_DATA device = DeviceData();
    return set && SetupDiOpenDeviceInfoW(set.get(), kRootInstanceId, nullptr, 0, &device);
}

std::string FileBytes(const std::wstring& path) {
    UniqueHandle file = AdoptFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                    nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        return {};
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    return bytes;
}

bool InstalledDriversCurrent() {
    for (const wchar_t* driver : kDrivers) {
        if (FileBytes(OwnFolder() + driver) != FileBytes(DriversFolder() + driver)) {
            return false;
        }
    }
    return true;
}

int Remove();

// A driver just stopped stays mapped for a moment after its service stops.
bool CopyDriver(const std::wstring& from, const std::wstring& to) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            return true;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION) {
            return false;
        }
        Sleep(50);
    }
    return false;
}

int Install() {
    if (RootDevicePresent()) {
        if (InstalledDriversCurrent()) {
            return 0;
        }
        // Rebuilt drivers: they load again only with the devices installed anew.
        if (int failed = Remove()) {
            return failed;
        }
    }
    std::wstring source = OwnFolder();
    for (const wchar_t* driver : kDrivers) {
        if (FileBytes(source + driver) != FileBytes(DriversFolder() + driver) &&
            !CopyDriver(source + driver, DriversFolder() + driver)) {
            return Fail("copying a driver");
        }
    }
    std::wstring inf = source + kInfName;
    if (!SetupCopyOEMInfW(inf.c_str(), nullptr, SPOST_NONE, 0, nullptr, 0, nullptr, nullptr)) {
        return Fail("SetupCopyOEMInfW");
    }
    UniqueDeviceList set = NewDeviceList();
    SP_DEVINFO_DATA device = DeviceData();
    if (!set || !SetupDiCreateDeviceInfoW(set.get(), kRootInstanceId, &GUID_DEVCLASS_SYSTEM,
                                          nullptr, nullptr, 0, &device)) {
        return Fail("SetupDiCreateDeviceInfoW");
    }
    if (!SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(kRootHardwareIds),
                                           sizeof(kRootHardwareIds)) ||
        !SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &device)) {
        return Fail("registering the root device");
    }
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesW(nullptr, kRootHardwareIds, inf.c_str(),
                                            INSTALLFLAG_FORCE, &reboot)) {
        return Fail("UpdateDriverForPlugAndPlayDevicesW");
    }
    return 0;
}

void StopAndDeleteServices() {
    UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    for (const wchar_t* name : kServices) {
        UniqueService service(manager ? OpenServiceW(manager.get(), name,
                                                     SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE)
                                      : nullptr);
        if (!service) {
            continue;
        }
        SERVICE_STATUS status = {};
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        for (int i = 0; i < 100 && QueryServiceStatus(service.get(), &status) &&
                        status.dwCurrentState == SERVICE_STOP_PENDING;
             ++i) {
            Sleep(50);
        }
        DeleteService(service.get());
    }
}

// The switches and interfaces the bus ever had: their registrations name
// the bus's services, which a remove deletes.
void RemoveChildDevices() {
    HDEVINFO children = SetupDiGetClassDevsW(nullptr, L"PELORANDIXBUS", nullptr, DIGCF_ALLCLASSES);
    UniqueDeviceList set(children == INVALID_HANDLE_VALUE ? nullptr : children);
    SP_DEVINFO_DATA device = DeviceData();
    for (DWORD i = 0; set && SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device);
    }
}

int Remove() {
    UniqueDeviceList set = NewDeviceList();
    SP_DEVINFO_DATA device = DeviceData();
    if (set && SetupDiOpenDeviceInfoW(set.get(), kRootInstanceId, nullptr, 0, &device) &&
        !SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device)) {
        return Fail("DIF_REMOVE");
    }
    RemoveChildDevices();
    StopAndDeleteServices();
    // Copying the INF again names the copy Windows keeps, which goes then.
    std::wstring inf = OwnFolder() + kInfName;
    wchar_t copy[MAX_PATH];
    wchar_t* copyName = nullptr;
    if (SetupCopyOEMInfW(inf.c_str(), nullptr, SPOST_NONE, 0, copy, MAX_PATH, nullptr, &copyName)) {
        SetupUninstallOEMInfW(copyName, 0, nullptr);
    }
    for (const wchar_t* driver : kDrivers) {
        DeleteFileW((DriversFolder() + driver).c_str());
    }
    return 0;
}

int Wait(DWORD seconds) {
    ULONGLONG deadline = GetTickCount64() + seconds * 1000ULL;
    for (;;) {
        if (AdoptFileHandle(CreateFileW(PELOBUS_USER_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr))) {
            return 0;
        }
        if (GetTickCount64() >= deadline) {
            return Fail("waiting for \\\\.\\PelorandixBus");
        }
        Sleep(50);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"install") {
        return Install();
    }
    if (command == L"remove") {
        return Remove();
    }
    if (command == L"wait") {
        return Wait(argc > 2 ? static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) : 20);
    }
    std::fprintf(stderr, "usage: pelorandix-bus-install install | remove | wait [seconds]\n");
    return 2;
}
