// The test bus under Wine's own HID stack: switches plugged through the control
// device appear to an ordinary program as HID interfaces (setupapi, hid.dll,
// cfgmgr32 through the test stand-in beside this exe), and reports cross
// between WriteFile/ReadFile and the control device both ways.
#include <windows.h>
// clang-format off
#include <winioctl.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "hid/win32/unique_handles.h"
#include "tests/hidbus/bus_control.h"

namespace {

using iowkit2_win32::AdoptFileHandle;
using iowkit2_win32::UniqueHandle;
using Bytes = std::vector<uint8_t>;

constexpr DWORD kDeadlineMs = 15000;

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    std::wstring folder(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

DWORD RunInstallTool(const std::wstring& arguments) {
    std::wstring command = L"\"" + OwnFolder() + L"pelorandix-bus-install.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return GetLastError();
    }
    UniqueHandle thread(process.hThread);
    UniqueHandle owned(process.hProcess);
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    }
    return code;
}

// One overlapped request on a handle, waited for up to the deadline.
struct Overlapped {
    Overlapped() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) { io.hEvent = event.get(); }
    // Whether it finished before the deadline; cancels it otherwise.
    bool Finish(HANDLE handle, DWORD* bytes) {
        if (WaitForSingleObject(event.get(), kDeadlineMs) != WAIT_OBJECT_0) {
            CancelIoEx(handle, &io);
            GetOverlappedResult(handle, &io, bytes, TRUE);
            return false;
        }
        return true;
    }
    UniqueHandle event;
    OVERLAPPED io{};
};

// Starts an overlapped call; its result comes from Overlapped::Finish and
// GetOverlappedResult.
bool Started(BOOL result) {
    return result || GetLastError() == ERROR_IO_PENDING;
}

class ControlDevice {
  public:
    ControlDevice()
        : handle_(AdoptFileHandle(CreateFileW(PELOBUS_USER_PATH, GENERIC_READ | GENERIC_WRITE, 0,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                              nullptr))) {}
    HANDLE get() const { return handle_.get(); }

    bool Call(DWORD code, const void* in, DWORD inSize) {
        Overlapped call;
        DWORD bytes = 0;
        if (!Started(DeviceIoControl(get(), code, const_cast<void*>(in), inSize, nullptr, 0,
                                     nullptr, &call.io))) {
            return false;
        }
        return call.Finish(get(), &bytes) && GetOverlappedResult(get(), &call.io, &bytes, TRUE);
    }
    bool Plug(uint32_t id, uint16_t productId, uint16_t version, const wchar_t* serial) {
        PeloBusPlug plug{id, 0x1214, productId, version, 0, {}};
        wcsncpy(plug.serial, serial, PELOBUS_SERIAL_CHARS - 1);
        return Call(PELOBUS_IOCTL_PLUG, &plug, sizeof(plug));
    }
    bool Unplug(uint32_t id) {
        PeloBusUnplug unplug{id};
        return Call(PELOBUS_IOCTL_UNPLUG, &unplug, sizeof(unplug));
    }
    bool Input(uint32_t id, uint32_t pipe, const Bytes& report) {
        PeloBusInput input{id, pipe, static_cast<uint32_t>(report.size()), {}};
        std::copy(report.begin(), report.end(), input.data);
        return Call(PELOBUS_IOCTL_INPUT, &input, sizeof(input));
    }
    bool CompleteWrite(uint32_t tag, bool succeeded) {
        PeloBusCompleteWrite complete{tag, succeeded ? 1 : 0};
        return Call(PELOBUS_IOCTL_COMPLETE_WRITE, &complete, sizeof(complete));
    }
    std::optional<PeloBusWrite> NextWrite() {
        Overlapped call;
        PeloBusWrite write{};
        DWORD bytes = 0;
        if (!Started(DeviceIoControl(get(), PELOBUS_IOCTL_NEXT_WRITE, nullptr, 0, &write,
                                     sizeof(write), nullptr, &call.io)) ||
            !call.Finish(get(), &bytes) || !GetOverlappedResult(get(), &call.io, &bytes, TRUE)) {
            return std::nullopt;
        }
        return write;
    }

  private:
    UniqueHandle handle_;
};

struct HidInterface {
    std::wstring path;
    HIDD_ATTRIBUTES attributes{};
    HIDP_CAPS caps{};
    std::wstring serial;
    DWORD grandparent = 0;
    std::wstring grandparentId;
};

using GetParent = DWORD(WINAPI*)(DWORD*, DWORD, ULONG);
using GetDeviceId = DWORD(WINAPI*)(DWORD, wchar_t*, ULONG, ULONG);

template <typename Function>
Function Cfgmgr32(const char* name) {
    static HMODULE cfgmgr32 = LoadLibraryW(L"cfgmgr32.dll");
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(cfgmgr32, name)));
}

void Describe(HANDLE device, DWORD node, HidInterface* found) {
    HidD_GetAttributes(device, &found->attributes);
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (HidD_GetPreparsedData(device, &preparsed)) {
        HidP_GetCaps(preparsed, &found->caps);
        HidD_FreePreparsedData(preparsed);
    }
    wchar_t serial[64] = {};
    if (HidD_GetSerialNumberString(device, serial, sizeof(serial))) {
        found->serial = serial;
    }
    // Two levels up, while the device list that gave the node lives.
    DWORD parent = 0;
    wchar_t id[256] = {};
    if (Cfgmgr32<GetParent>("CM_Get_Parent")(&parent, node, 0) == 0 &&
        Cfgmgr32<GetParent>("CM_Get_Parent")(&found->grandparent, parent, 0) == 0 &&
        Cfgmgr32<GetDeviceId>("CM_Get_Device_IDW")(found->grandparent, id, 256, 0) == 0) {
        found->grandparentId = id;
    }
}

// The present HID interfaces of vendor 0x1214.
std::vector<HidInterface> Enumerate() {
    std::vector<HidInterface> found;
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    HDEVINFO set =
        SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return found;
    }
    SP_DEVICE_INTERFACE_DATA interface {};
    interface.cbSize = sizeof(interface);
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, i, &interface); ++i) {
        std::vector<char> buffer(1024);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(*detail);
        SP_DEVINFO_DATA node{};
        node.cbSize = sizeof(node);
        if (!SetupDiGetDeviceInterfaceDetailW(set, &interface, detail, buffer.size(), nullptr,
                                              &node)) {
            continue;
        }
        UniqueHandle device =
            AdoptFileHandle(CreateFileW(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        HidInterface candidate;
        candidate.path = detail->DevicePath;
        if (device) {
            Describe(device.get(), node.DevInst, &candidate);
        }
        if (candidate.attributes.VendorID == 0x1214) {
            found.push_back(candidate);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

// Waits until exactly that many interfaces of vendor 0x1214 are present.
std::vector<HidInterface> WaitForInterfaces(size_t count) {
    ULONGLONG deadline = GetTickCount64() + kDeadlineMs;
    std::vector<HidInterface> found = Enumerate();
    while (found.size() != count && GetTickCount64() < deadline) {
        Sleep(20);
        found = Enumerate();
    }
    return found;
}

const HidInterface* Find(const std::vector<HidInterface>& found, uint16_t productId,
                         uint16_t outputLength) {
    for (const HidInterface& candidate : found) {
        if (candidate.attributes.ProductID == productId &&
            candidate.caps.OutputReportByteLength == outputLength) {
            return &candidate;
        }
    }
    return nullptr;
}

UniqueHandle OpenOverlapped(const std::wstring& path) {
    return AdoptFileHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED, nullptr));
}

class BusProbe : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(RunInstallTool(L"install"), 0u);
        ASSERT_EQ(RunInstallTool(L"install"), 0u) << "a second install is harmless";
        ASSERT_EQ(RunInstallTool(L"wait 30"), 0u);
    }
    void SetUp() override { ASSERT_TRUE(bus_.get()); }
    // A test that stopped early leaves no switch behind for the tests after it.
    void TearDown() override {
        for (uint32_t id : {0x2A, 0x2B, 0x31, 0x40, 0x41, 0x50}) {
            bus_.Unplug(id);
        }
    }

    ControlDevice bus_;
};

TEST_F(BusProbe, EachSwitchShowsTwoHidInterfacesUnderOneGrandparent) {
    ASSERT_TRUE(bus_.Plug(0x2A, 0x03EB, 0x1012, L"1A2B3C4D"));
    ASSERT_TRUE(bus_.Plug(0x2B, 0x1512, 0x0100, L"0000BEEF"));
    EXPECT_FALSE(bus_.Plug(0x2A, 0x03EB, 0x1012, L"1A2B3C4D"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    std::vector<HidInterface> found = WaitForInterfaces(4);
    ASSERT_EQ(found.size(), 4u);
    const HidInterface* first[2] = {Find(found, 0x03EB, 5), Find(found, 0x03EB, 8)};
    const HidInterface* second[2] = {Find(found, 0x1512, 5), Find(found, 0x1512, 8)};
    for (const HidInterface* pipe : {first[0], first[1], second[0], second[1]}) {
        ASSERT_NE(pipe, nullptr);
        EXPECT_EQ(pipe->caps.InputReportByteLength, pipe->caps.OutputReportByteLength);
    }
    EXPECT_EQ(first[0]->attributes.VersionNumber, 0x1012);
    EXPECT_EQ(second[1]->attributes.VersionNumber, 0x0100);
    EXPECT_EQ(first[1]->serial, L"1A2B3C4D");
    EXPECT_EQ(second[0]->serial, L"0000BEEF");
    EXPECT_NE(first[0]->path.find(L"mi_00"), std::wstring::npos) << first[0]->path;

    EXPECT_EQ(first[0]->grandparentId, L"PELORANDIXBUS\\SWITCH\\0000002A");
    EXPECT_EQ(second[1]->grandparentId, L"PELORANDIXBUS\\SWITCH\\0000002B");
    EXPECT_EQ(first[0]->grandparent, first[1]->grandparent);
    EXPECT_EQ(second[0]->grandparent, second[1]->grandparent);
    EXPECT_NE(first[0]->grandparent, second[0]->grandparent);

    EXPECT_TRUE(bus_.Unplug(0x2A));
    EXPECT_TRUE(bus_.Unplug(0x2B));
    EXPECT_FALSE(bus_.Unplug(0x2B));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
    EXPECT_EQ(WaitForInterfaces(0).size(), 0u);
}

// Writes an output report and takes it from the control device.
struct PendingWrite {
    PendingWrite(HANDLE device, const Bytes& report) : device(device), report(report) {
        started = Started(WriteFile(device, this->report.data(),
                                    static_cast<DWORD>(this->report.size()), nullptr, &call.io));
    }
    bool Succeeded() {
        DWORD bytes = 0;
        return call.Finish(device, &bytes) && GetOverlappedResult(device, &call.io, &bytes, TRUE);
    }
    HANDLE device;
    Bytes report;
    Overlapped call;
    bool started = false;
};

Bytes Data(const PeloBusWrite& write) {
    return Bytes(write.data, write.data + write.length);
}

Bytes Read(HANDLE device, DWORD length) {
    Bytes report(length);
    Overlapped call;
    DWORD bytes = 0;
    if (!Started(ReadFile(device, report.data(), length, nullptr, &call.io)) ||
        !call.Finish(device, &bytes) || !GetOverlappedResult(device, &call.io, &bytes, TRUE)) {
        return {};
    }
    report.resize(bytes);
    return report;
}

TEST_F(BusProbe, ReportsCrossBetweenTheProgramAndTheSwitchProcess) {
    ASSERT_TRUE(bus_.Plug(0x31, 0x03EB, 0x1012, L"00000031"));
    std::vector<HidInterface> found = WaitForInterfaces(2);
    ASSERT_EQ(found.size(), 2u);
    UniqueHandle pipe0 = OpenOverlapped(Find(found, 0x03EB, 5)->path);
    UniqueHandle pipe1 = OpenOverlapped(Find(found, 0x03EB, 8)->path);
    ASSERT_TRUE(pipe0 && pipe1);

    PendingWrite setPort(pipe1.get(), {9, 4, 11, 2, 2, 0, 0, 0});
    ASSERT_TRUE(setPort.started);
    std::optional<PeloBusWrite> taken = bus_.NextWrite();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->switchId, 0x31u);
    EXPECT_EQ(taken->pipe, 1u);
    EXPECT_EQ(Data(*taken), Bytes({9, 4, 11, 2, 2, 0, 0, 0}));
    EXPECT_EQ(WaitForSingleObject(setPort.call.event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the write waits for the switch process";
    ASSERT_TRUE(bus_.CompleteWrite(taken->writeTag, true));
    EXPECT_TRUE(setPort.Succeeded());
    EXPECT_FALSE(bus_.CompleteWrite(taken->writeTag, true));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));

    PendingWrite enable(pipe1.get(), {8, 1, 3, 0, 0, 0, 0, 0});
    taken = bus_.NextWrite();
    ASSERT_TRUE(taken);
    EXPECT_EQ(Data(*taken), Bytes({8, 1, 3, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(bus_.CompleteWrite(taken->writeTag, false));
    EXPECT_FALSE(enable.Succeeded());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));

    // A switch process that closed its handle takes no more reports.
    Overlapped abandoned;
    PeloBusWrite unused{};
    {
        ControlDevice gone;
        ASSERT_TRUE(Started(DeviceIoControl(gone.get(), PELOBUS_IOCTL_NEXT_WRITE, nullptr, 0,
                                            &unused, sizeof(unused), nullptr, &abandoned.io)));
    }
    EXPECT_EQ(WaitForSingleObject(abandoned.event.get(), kDeadlineMs),
              static_cast<DWORD>(WAIT_OBJECT_0));
    PendingWrite pipe0Write(pipe0.get(), {0, 1, 2, 3, 4});
    taken = bus_.NextWrite();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->pipe, 0u);
    EXPECT_EQ(Data(*taken), Bytes({0, 1, 2, 3, 4}));
    ASSERT_TRUE(bus_.CompleteWrite(taken->writeTag, true));
    EXPECT_TRUE(pipe0Write.Succeeded());

    ASSERT_TRUE(bus_.Input(0x31, 1, {9, 4, 2, 0, 1, 3, 0, 0}));
    EXPECT_EQ(Read(pipe1.get(), 8), Bytes({9, 4, 2, 0, 1, 3, 0, 0}));
    ASSERT_TRUE(bus_.Input(0x31, 0, {0, 5, 6, 7, 8}));
    EXPECT_EQ(Read(pipe0.get(), 5), Bytes({0, 5, 6, 7, 8}));

    EXPECT_TRUE(bus_.Unplug(0x31));
    EXPECT_EQ(WaitForInterfaces(0).size(), 0u);
}

TEST_F(BusProbe, UnplugEndsPendingIoAndPlugWorksAgainAtOnce) {
    ASSERT_TRUE(bus_.Plug(0x40, 0x03EB, 0x1012, L"00000040"));
    std::vector<HidInterface> found = WaitForInterfaces(2);
    ASSERT_EQ(found.size(), 2u);
    UniqueHandle pipe1 = OpenOverlapped(Find(found, 0x03EB, 8)->path);
    ASSERT_TRUE(pipe1);
    Bytes report(8);
    Overlapped read;
    ASSERT_TRUE(Started(ReadFile(pipe1.get(), report.data(), 8, nullptr, &read.io)));
    PendingWrite untaken(pipe1.get(), {9, 4, 2, 0, 0, 0, 0, 0});

    ASSERT_TRUE(bus_.Unplug(0x40));
    DWORD bytes = 0;
    EXPECT_TRUE(read.Finish(pipe1.get(), &bytes));
    EXPECT_FALSE(GetOverlappedResult(pipe1.get(), &read.io, &bytes, TRUE));
    EXPECT_FALSE(untaken.Succeeded());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    pipe1.reset();

    ASSERT_TRUE(bus_.Plug(0x40, 0x03EB, 0x1012, L"00000040"));
    found = WaitForInterfaces(2);
    ASSERT_EQ(found.size(), 2u);
    pipe1 = OpenOverlapped(Find(found, 0x03EB, 8)->path);
    PendingWrite again(pipe1.get(), {9, 4, 0, 0, 0, 0, 0, 0});
    std::optional<PeloBusWrite> taken = bus_.NextWrite();
    ASSERT_TRUE(taken);
    EXPECT_EQ(Data(*taken), Bytes({9, 4, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(bus_.CompleteWrite(taken->writeTag, true));
    EXPECT_TRUE(again.Succeeded());
    pipe1.reset();
    ASSERT_TRUE(bus_.Unplug(0x40));

    for (int cycle = 0; cycle < 20; ++cycle) {
        ASSERT_TRUE(bus_.Plug(0x41, 0x03EB, 0x1012, L"00000041")) << cycle;
        ASSERT_EQ(WaitForInterfaces(2).size(), 2u) << cycle;
        ASSERT_TRUE(bus_.Unplug(0x41)) << cycle;
        ASSERT_EQ(WaitForInterfaces(0).size(), 0u) << cycle;
    }
}

TEST_F(BusProbe, RemoveTakesTheBusOutWhileInUseAndInstallBringsItBack) {
    ASSERT_TRUE(bus_.Plug(0x50, 0x03EB, 0x1012, L"00000050"));
    std::vector<HidInterface> found = WaitForInterfaces(2);
    ASSERT_EQ(found.size(), 2u);
    UniqueHandle pipe1 = OpenOverlapped(Find(found, 0x03EB, 8)->path);
    Bytes report(8);
    Overlapped read;
    ASSERT_TRUE(Started(ReadFile(pipe1.get(), report.data(), 8, nullptr, &read.io)));

    ASSERT_EQ(RunInstallTool(L"remove"), 0u);
    DWORD bytes = 0;
    EXPECT_TRUE(read.Finish(pipe1.get(), &bytes));
    EXPECT_FALSE(GetOverlappedResult(pipe1.get(), &read.io, &bytes, TRUE));
    EXPECT_FALSE(ControlDevice().get());
    EXPECT_EQ(WaitForInterfaces(0).size(), 0u);

    ASSERT_EQ(RunInstallTool(L"install"), 0u);
    ASSERT_EQ(RunInstallTool(L"wait 30"), 0u);
    ControlDevice again;
    ASSERT_TRUE(again.Plug(0x50, 0x03EB, 0x1012, L"00000050"));
    EXPECT_EQ(WaitForInterfaces(2).size(), 2u);
    EXPECT_TRUE(again.Unplug(0x50));
}

}  // namespace
