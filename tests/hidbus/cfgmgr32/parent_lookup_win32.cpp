// A test-only cfgmgr32.dll: Wine 8.0's CM_Get_Parent is a stub that always
// answers CR_NO_SUCH_DEVNODE, and the program finds a switch's device key two
// levels above each HID interface with it. Placed beside the program with the
// DLL override cfgmgr32=n,b, this one answers CM_Get_Parent for the nodes of
// the test bus from their instance ids (tests/hidbus/bus_ids.c):
//
//   HID\VID_1214&PID_03EB&MI_00\PELORANDIXBUS&0000002A
//     -> PELORANDIXBUS\VID_1214&PID_03EB&MI_00\PELORANDIXBUS&0000002A
//     -> PELORANDIXBUS\SWITCH\0000002A
//
// The ancestors get node numbers of their own, from 0x50000000 up and stable
// for the process, far above the small numbers Wine's setupapi hands out per
// device list. A HID interface's node is resolved through setupapi, so it
// must be asked while its device list lives. Everything else goes to Wine's
// setupapi as Wine's cfgmgr32 sends it. Never shipped.
#include <windows.h>

#include <cwctype>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using CONFIGRET = DWORD;
using DEVINST = DWORD;
constexpr CONFIGRET kSuccess = 0x00;
constexpr CONFIGRET kInvalidPointer = 0x03;
constexpr CONFIGRET kBufferSmall = 0x1A;

constexpr DEVINST kFirstOwnNode = 0x50000000;
constexpr wchar_t kBus[] = L"PELORANDIXBUS";
constexpr wchar_t kInterfaceInstancePrefix[] = L"PELORANDIXBUS&";

using GetParentFunction = CONFIGRET(WINAPI*)(DEVINST*, DEVINST, ULONG);
using GetDeviceIdFunction = CONFIGRET(WINAPI*)(DEVINST, wchar_t*, ULONG, ULONG);

// Wine's own function of that name in setupapi.dll.
template <typename Function>
Function Setupapi(const char* name) {
    static HMODULE setupapi = LoadLibraryW(L"setupapi.dll");
    FARPROC function = setupapi ? GetProcAddress(setupapi, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(function));
}

std::mutex g_mutex;
std::vector<std::wstring> g_ownNodes;  // node kFirstOwnNode + i is g_ownNodes[i]

DEVINST OwnNode(const std::wstring& id) {
    std::lock_guard lock(g_mutex);
    for (size_t i = 0; i < g_ownNodes.size(); ++i) {
        if (g_ownNodes[i] == id) {
            return kFirstOwnNode + static_cast<DEVINST>(i);
        }
    }
    g_ownNodes.push_back(id);
    return kFirstOwnNode + static_cast<DEVINST>(g_ownNodes.size() - 1);
}

std::optional<std::wstring> OwnNodeId(DEVINST node) {
    std::lock_guard lock(g_mutex);
    if (node < kFirstOwnNode || node - kFirstOwnNode >= g_ownNodes.size()) {
        return std::nullopt;
    }
    return g_ownNodes[node - kFirstOwnNode];
}

std::optional<std::wstring> NodeId(DEVINST node) {
    if (auto own = OwnNodeId(node)) {
        return own;
    }
    auto getId = Setupapi<GetDeviceIdFunction>("CM_Get_Device_IDW");
    wchar_t id[512];
    if (!getId || getId(node, id, 512, 0) != kSuccess) {
        return std::nullopt;
    }
    std::wstring upper(id);
    for (wchar_t& c : upper) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    return upper;
}

// The parent's id under the bus's id scheme, for its nodes only.
std::optional<std::wstring> ParentId(const std::wstring& id) {
    size_t first = id.find(L'\\');
    size_t second = first == std::wstring::npos ? first : id.find(L'\\', first + 1);
    if (second == std::wstring::npos || id.find(L'\\', second + 1) != std::wstring::npos) {
        return std::nullopt;
    }
    std::wstring enumerator = id.substr(0, first);
    std::wstring device = id.substr(first + 1, second - first - 1);
    std::wstring instance = id.substr(second + 1);
    if (instance.rfind(kInterfaceInstancePrefix, 0) != 0) {
        return std::nullopt;
    }
    if (enumerator == L"HID") {
        return std::wstring(kBus) + L"\\" + device + L"\\" + instance;
    }
    if (enumerator == kBus && device != L"SWITCH") {
        return std::wstring(kBus) + L"\\SWITCH\\" +
               instance.substr(std::size(kInterfaceInstancePrefix) - 1);
    }
    return std::nullopt;
}

}  // namespace

extern "C" CONFIGRET WINAPI CM_Get_Parent(DEVINST* parent, DEVINST node, ULONG flags) {
    if (!parent) {
        return kInvalidPointer;
    }
    if (auto id = NodeId(node)) {
        if (auto parentId = ParentId(*id)) {
            *parent = OwnNode(*parentId);
            return kSuccess;
        }
    }
    auto wine = Setupapi<GetParentFunction>("CM_Get_Parent");
    return wine(parent, node, flags);
}

extern "C" CONFIGRET WINAPI CM_Get_Device_ID_Size(ULONG* length, DEVINST node, ULONG flags) {
    if (auto own = OwnNodeId(node)) {
        if (!length) {
            return kInvalidPointer;
        }
        *length = static_cast<ULONG>(own->size());
        return kSuccess;
    }
    using GetSizeFunction = CONFIGRET(WINAPI*)(ULONG*, DEVINST, ULONG);
    auto wine = Setupapi<GetSizeFunction>("CM_Get_Device_ID_Size");
    return wine(length, node, flags);
}

extern "C" CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST node, wchar_t* buffer, ULONG length,
                                              ULONG flags) {
    if (auto own = OwnNodeId(node)) {
        if (!buffer) {
            return kInvalidPointer;
        }
        if (length <= own->size()) {
            return kBufferSmall;
        }
        own->copy(buffer, own->size());
        buffer[own->size()] = 0;
        return kSuccess;
    }
    auto wine = Setupapi<GetDeviceIdFunction>("CM_Get_Device_IDW");
    return wine(node, buffer, length, flags);
}
