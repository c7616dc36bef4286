// The enumeration adapter against stand-ins for the looked-up functions,
// with temporary files standing in for the interfaces' device paths.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "hid/win32/win32_platform.h"

namespace {

// Any id other than the real HID class id: the adapter must pass on what
// HidD_GetHidGuid gave it.
constexpr GUID kStandInHidGuid = {
    0x12345678, 0x9abc, 0xdef0, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}};
const HDEVINFO kStandInSet = reinterpret_cast<HDEVINFO>(static_cast<uintptr_t>(0x5e7));

struct StandInInterface {
    std::string path;
    DWORD node = 0;
    bool noDetailLength = false;  // the length query gives nothing
    bool detailFails = false;     // the second detail call fails
};

struct StandInDevice {
    bool attributesFail = false;
    USHORT vendorId = 0, productId = 0, version = 0;
    bool preparsedFails = false;
    bool capsFail = false;
    USHORT inputLength = 0, outputLength = 0;
    std::wstring serial;  // empty: no serial number string
    std::wstring indexedString0;
};

struct StandInBus {
    std::vector<StandInInterface> interfaces;
    std::map<DWORD, DWORD> parents;
    std::map<std::string, StandInDevice> devices;  // by file name
    bool noDeviceSet = false;

    GUID guidAsked{};
    DWORD flagsAsked = 0;
    int setsCreated = 0;
    int setsDestroyed = 0;
    DWORD highestIndexAsked = 0;
    int preparsedOutstanding = 0;
    bool lastProbeWritable = false;
    ULONG serialLengthAsked = 0;
    ULONG indexAsked = 99;
    ULONG indexedLengthAsked = 0;
};

StandInBus* bus = nullptr;

// The stand-in device an open handle refers to, by its file name.
StandInDevice* DeviceOf(HANDLE file) {
    char path[MAX_PATH] = {};
    if (!GetFinalPathNameByHandleA(file, path, MAX_PATH, 0)) {
        return nullptr;
    }
    const char* name = strrchr(path, '\\');
    auto found = bus->devices.find(name ? name + 1 : path);
    return found == bus->devices.end() ? nullptr : &found->second;
}

void NTAPI StandInGetHidGuid(LPGUID guid) {
    *guid = kStandInHidGuid;
}

HDEVINFO WINAPI StandInGetClassDevs(const GUID* guid, PCSTR, HWND, DWORD flags) {
    bus->guidAsked = *guid;
    bus->flagsAsked = flags;
    if (bus->noDeviceSet) {
        return INVALID_HANDLE_VALUE;
    }
    ++bus->setsCreated;
    return kStandInSet;
}

WINBOOL WINAPI StandInEnumInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID* guid, DWORD index,
                                     PSP_DEVICE_INTERFACE_DATA data) {
    bus->highestIndexAsked = std::max(bus->highestIndexAsked, index);
    if (set != kStandInSet || !IsEqualGUID(*guid, kStandInHidGuid) ||
        data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || index >= bus->interfaces.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->Reserved = index;
    return TRUE;
}

WINBOOL WINAPI StandInGetDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                PDWORD required, PSP_DEVINFO_DATA devinfo) {
    const StandInInterface& entry = bus->interfaces.at(data->Reserved);
    const DWORD needed =
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + entry.path.size() + 1;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    if (set != kStandInSet) {
        return FALSE;
    }
    if (!detail) {
        if (required && !entry.noDetailLength) {
            *required = needed;
        }
        return FALSE;
    }
    if (entry.detailFails || detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) ||
        size < needed || !devinfo || devinfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return FALSE;
    }
    memcpy(detail->DevicePath, entry.path.c_str(), entry.path.size() + 1);
    devinfo->DevInst = entry.node;
    SetLastError(0);
    return TRUE;
}

WINBOOL WINAPI StandInDestroySet(HDEVINFO set) {
    if (set == kStandInSet) {
        ++bus->setsDestroyed;
    }
    return TRUE;
}

// As in Wine, a node means something only while its device set lives.
CONFIGRET WINAPI StandInGetParent(PDEVINST parent, DEVINST node, ULONG flags) {
    auto found = bus->parents.find(node);
    if (flags != 0 || found == bus->parents.end() || bus->setsCreated == bus->setsDestroyed) {
        return CR_NO_SUCH_DEVNODE;
    }
    *parent = found->second;
    return CR_SUCCESS;
}

BOOLEAN NTAPI StandInGetAttributes(HANDLE file, PHIDD_ATTRIBUTES hidAttr) {
    StandInDevice* device = DeviceOf(file);
    // A zero-byte write is refused on a handle without write access.
    DWORD written = 0;
    bus->lastProbeWritable = WriteFile(file, "", 0, &written, nullptr);
    if (!device || device->attributesFail || hidAttr->Size != sizeof(HIDD_ATTRIBUTES)) {
        return FALSE;
    }
    hidAttr->VendorID = device->vendorId;
    hidAttr->ProductID = device->productId;
    hidAttr->VersionNumber = device->version;
    return TRUE;
}

BOOLEAN NTAPI StandInGetPreparsedData(HANDLE file, PHIDP_PREPARSED_DATA* data) {
    StandInDevice* device = DeviceOf(file);
    if (!device || device->preparsedFails) {
        return FALSE;
    }
    ++bus->preparsedOutstanding;
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(device);
    return TRUE;
}

NTSTATUS NTAPI StandInGetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS hidCaps) {
    auto* device = reinterpret_cast<StandInDevice*>(data);
    if (device->capsFail) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    hidCaps->InputReportByteLength = device->inputLength;
    hidCaps->OutputReportByteLength = device->outputLength;
    return HIDP_STATUS_SUCCESS;
}

BOOLEAN NTAPI StandInFreePreparsedData(PHIDP_PREPARSED_DATA) {
    --bus->preparsedOutstanding;
    return TRUE;
}

BOOLEAN CopyString(const std::wstring& text, PVOID buffer, ULONG byteLength) {
    const size_t bytes = std::min<size_t>((text.size() + 1) * sizeof(wchar_t), byteLength);
    memcpy(buffer, text.c_str(), bytes);
    return TRUE;
}

BOOLEAN NTAPI StandInGetSerial(HANDLE file, PVOID buffer, ULONG byteLength) {
    StandInDevice* device = DeviceOf(file);
    bus->serialLengthAsked = byteLength;
    if (!device || device->serial.empty()) {
        return FALSE;
    }
    return CopyString(device->serial, buffer, byteLength);
}

BOOLEAN NTAPI StandInGetIndexed(HANDLE file, ULONG index, PVOID buffer, ULONG byteLength) {
    StandInDevice* device = DeviceOf(file);
    bus->indexAsked = index;
    bus->indexedLengthAsked = byteLength;
    return device && CopyString(device->indexedString0, buffer, byteLength);
}

BOOLEAN NTAPI StandInGetNumInputBuffers(HANDLE, PULONG) {
    return FALSE;
}
BOOLEAN NTAPI StandInSetNumInputBuffers(HANDLE, ULONG) {
    return FALSE;
}

IowKit2HidFunctions StandIns() {
    IowKit2HidFunctions f;
    f.HidD_GetAttributes = StandInGetAttributes;
    f.HidD_GetHidGuid = StandInGetHidGuid;
    f.HidD_GetPreparsedData = StandInGetPreparsedData;
    f.HidP_GetCaps = StandInGetCaps;
    f.HidD_FreePreparsedData = StandInFreePreparsedData;
    f.HidD_GetNumInputBuffers = StandInGetNumInputBuffers;
    f.HidD_SetNumInputBuffers = StandInSetNumInputBuffers;
    f.HidD_GetSerialNumberString = StandInGetSerial;
    f.HidD_GetIndexedString = StandInGetIndexed;
    f.CM_Get_Parent = StandInGetParent;
    f.SetupDiGetDeviceInterfaceDetailA = StandInGetDetail;
    f.SetupDiGetClassDevsA = StandInGetClassDevs;
    f.SetupDiEnumDeviceInterfaces = StandInEnumInterfaces;
    f.SetupDiDestroyDeviceInfoList = StandInDestroySet;
    return f;
}

class Enumeration : public ::testing::Test {
  protected:
    void SetUp() override {
        bus = &bus_;
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "iowkit2-enum-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        for (const std::string& path : files_) {
            DeleteFileA(path.c_str());
        }
        RemoveDirectoryA(folder_.c_str());
        bus = nullptr;
    }

    // A file standing in for an interface's device path.
    std::string AddDevice(const std::string& name, const StandInDevice& device) {
        const std::string path = folder_ + "\\" + name;
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
        files_.push_back(path);
        bus_.devices[name] = device;
        return path;
    }

    StandInBus bus_;
    IowKit2Win32Platform platform_{StandIns()};
    std::string folder_;
    std::vector<std::string> files_;
};

TEST_F(Enumeration, ListsInterfacesInPlatformOrderSkippingThoseWithoutDetail) {
    bus_.interfaces = {
        {"\\\\?\\hid#vid_1214&pid_03eb&mi_00#1", 0x101},
        {"\\\\?\\hid#no-length", 0x102, true, false},
        {"\\\\?\\hid#vid_1214&pid_03eb&mi_01#2", 0x103},
        {"\\\\?\\hid#detail-fails", 0x104, false, true},
        {"\\\\?\\hid#vid_046d&pid_c52b#3", 0x105},
    };
    bus_.parents = {{0x101, 0x50}, {0x50, 0x7}};
    std::vector<IowKit2InterfaceEntry> entries;
    std::optional<uint32_t> grandParent;
    ASSERT_TRUE(platform_.VisitHidInterfaces([&](const IowKit2InterfaceEntry& entry) {
        entries.push_back(entry);
        if (entry.node == 0x101) {  // the parents are asked while the set lives
            auto parent = platform_.GetParent(entry.node);
            grandParent = parent ? platform_.GetParent(*parent) : std::nullopt;
        }
    }));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].devicePath, "\\\\?\\hid#vid_1214&pid_03eb&mi_00#1");
    EXPECT_EQ(entries[0].node, 0x101u);
    EXPECT_EQ(entries[1].devicePath, "\\\\?\\hid#vid_1214&pid_03eb&mi_01#2");
    EXPECT_EQ(entries[1].node, 0x103u);
    EXPECT_EQ(entries[2].devicePath, "\\\\?\\hid#vid_046d&pid_c52b#3");
    EXPECT_EQ(entries[2].node, 0x105u);
    EXPECT_EQ(grandParent, 0x7u);

    EXPECT_TRUE(IsEqualGUID(bus_.guidAsked, kStandInHidGuid));
    EXPECT_EQ(bus_.flagsAsked, 0x12u);
    EXPECT_EQ(bus_.highestIndexAsked, 5u);  // stops at the first refused index
    EXPECT_EQ(bus_.setsCreated, 1);
    EXPECT_EQ(bus_.setsDestroyed, 1);
}

TEST_F(Enumeration, NoDeviceSetListsNothingAndEmptySetListsNone) {
    bus_.noDeviceSet = true;
    int visits = 0;
    const auto count = [&visits](const IowKit2InterfaceEntry&) { ++visits; };
    EXPECT_FALSE(platform_.VisitHidInterfaces(count));
    EXPECT_EQ(bus_.setsDestroyed, 0);

    bus_.noDeviceSet = false;
    EXPECT_TRUE(platform_.VisitHidInterfaces(count));
    EXPECT_EQ(visits, 0);
    EXPECT_EQ(bus_.setsDestroyed, 1);
}

TEST_F(Enumeration, ProbeReadsAttributesCapsAndStrings) {
    StandInDevice device;
    device.vendorId = 0x1214;
    device.productId = 0x03EB;
    device.version = 0x1021;
    device.inputLength = 8;
    device.outputLength = 8;
    device.serial = L"1A2B3C4D";
    device.indexedString0 = L"\x0409";
    const std::string path = AddDevice("switch-mi01", device);

    auto probe = platform_.OpenProbe(path);
    ASSERT_NE(probe, nullptr);
    auto hidAttr = probe->GetAttributes();
    ASSERT_TRUE(hidAttr.has_value());
    EXPECT_TRUE(bus_.lastProbeWritable);  // opened for reading and writing
    EXPECT_EQ(hidAttr->vendorId, 0x1214);
    EXPECT_EQ(hidAttr->productId, 0x03EB);
    EXPECT_EQ(hidAttr->versionNumber, 0x1021);

    auto hidCaps = probe->GetCaps();
    ASSERT_TRUE(hidCaps.has_value());
    EXPECT_EQ(hidCaps->inputReportLength, 8);
    EXPECT_EQ(hidCaps->outputReportLength, 8);
    EXPECT_EQ(bus_.preparsedOutstanding, 0);

    uint16_t serial[9] = {};
    ASSERT_TRUE(probe->GetSerialNumberString(serial, 18));
    EXPECT_EQ(bus_.serialLengthAsked, 18u);
    const uint16_t expected[9] = {'1', 'A', '2', 'B', '3', 'C', '4', 'D', 0};
    EXPECT_EQ(memcmp(serial, expected, sizeof(expected)), 0);

    uint16_t indexed[256] = {};
    ASSERT_TRUE(probe->GetIndexedString(0, indexed, 512));
    EXPECT_EQ(bus_.indexAsked, 0u);
    EXPECT_EQ(bus_.indexedLengthAsked, 512u);
    EXPECT_EQ(indexed[0], 0x0409);
}

TEST_F(Enumeration, CapsNotFetchedAreReportedAsNone) {
    StandInDevice capsFail;
    capsFail.inputLength = 8;
    capsFail.outputLength = 8;
    capsFail.capsFail = true;
    StandInDevice preparsedFails = capsFail;
    preparsedFails.capsFail = false;
    preparsedFails.preparsedFails = true;
    StandInDevice noAttributes;
    noAttributes.attributesFail = true;

    auto probe = platform_.OpenProbe(AddDevice("caps-fail", capsFail));
    ASSERT_NE(probe, nullptr);
    EXPECT_FALSE(probe->GetCaps().has_value());
    EXPECT_EQ(bus_.preparsedOutstanding, 0);  // freed on failure too

    probe = platform_.OpenProbe(AddDevice("preparsed-fails", preparsedFails));
    ASSERT_NE(probe, nullptr);
    EXPECT_FALSE(probe->GetCaps().has_value());

    probe = platform_.OpenProbe(AddDevice("no-attributes", noAttributes));
    ASSERT_NE(probe, nullptr);
    EXPECT_FALSE(probe->GetAttributes().has_value());
    uint16_t serial[9] = {};
    EXPECT_FALSE(probe->GetSerialNumberString(serial, 18));
}

TEST_F(Enumeration, ProbeFallsBackToNoAccessRights) {
    StandInDevice device;
    device.vendorId = 0x1214;
    device.productId = 0x1512;
    const std::string path = AddDevice("held-elsewhere", device);
    // Another opener that does not share writing: read/write access is refused.
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    HANDLE readWrite =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(readWrite, INVALID_HANDLE_VALUE);

    auto probe = platform_.OpenProbe(path);
    ASSERT_NE(probe, nullptr);
    auto hidAttr = probe->GetAttributes();
    ASSERT_TRUE(hidAttr.has_value());
    EXPECT_FALSE(bus_.lastProbeWritable);
    EXPECT_EQ(hidAttr->productId, 0x1512);
    probe.reset();
    CloseHandle(holder);

    EXPECT_EQ(platform_.OpenProbe(folder_ + "\\not-there"), nullptr);
}

TEST(Win32Heap, ZeroedBlocksFromSeveralThreads) {
    IowKit2Win32Platform platform;
    EXPECT_EQ(platform.HeapAllocate(64), nullptr);  // no heap yet
    ASSERT_EQ(platform.CreateHeap(4096), 0u);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&platform] {
            for (int i = 0; i < 2000; ++i) {
                auto* block = static_cast<uint8_t*>(platform.HeapAllocate(64));
                ASSERT_NE(block, nullptr);
                for (int b = 0; b < 64; ++b) {
                    ASSERT_EQ(block[b], 0);
                }
                memset(block, 0xA5, 64);
                platform.HeapRelease(block);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    // Grows beyond its initial size.
    void* large = platform.HeapAllocate(1 << 20);
    EXPECT_NE(large, nullptr);
    platform.HeapRelease(large);
    platform.DestroyHeap();
    EXPECT_EQ(platform.HeapAllocate(64), nullptr);
}

}  // namespace
