#include "hid/win32/hid_functions.h"

namespace {

// Stores GetProcAddress's result in a typed table entry; false when missing.
template <typename Function>
bool LookUp(HMODULE library, const char* name, Function& entry) {
    entry = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return entry != nullptr;
}

bool LoadLibraries(IowKit2HidLibraries& libraries) {
    libraries.hid.reset(LoadLibraryA("hid.dll"));
    if (!libraries.hid) {
        return false;
    }
    libraries.cfgmgr32.reset(LoadLibraryA("cfgmgr32.dll"));
    if (!libraries.cfgmgr32) {
        return false;
    }
    libraries.setupapi.reset(LoadLibraryA("setupapi.dll"));
    return libraries.setupapi != nullptr;
}

bool LookUpFunctions(const IowKit2HidLibraries& libraries, IowKit2HidFunctions& f) {
    HMODULE hid = libraries.hid.get();
    HMODULE cfgmgr32 = libraries.cfgmgr32.get();
    HMODULE setupapi = libraries.setupapi.get();
    return LookUp(hid, "HidD_GetAttributes", f.HidD_GetAttributes) &&
           LookUp(hid, "HidD_GetHidGuid", f.HidD_GetHidGuid) &&
           LookUp(hid, "HidD_GetPreparsedData", f.HidD_GetPreparsedData) &&
           LookUp(hid, "HidP_GetCaps", f.HidP_GetCaps) &&
           LookUp(hid, "HidD_FreePreparsedData", f.HidD_FreePreparsedData) &&
           LookUp(hid, "HidD_GetNumInputBuffers", f.HidD_GetNumInputBuffers) &&
           LookUp(hid, "HidD_SetNumInputBuffers", f.HidD_SetNumInputBuffers) &&
           LookUp(hid, "HidD_GetSerialNumberString", f.HidD_GetSerialNumberString) &&
           LookUp(hid, "HidD_GetIndexedString", f.HidD_GetIndexedString) &&
           LookUp(cfgmgr32, "CM_Get_Parent", f.CM_Get_Parent) &&
           LookUp(setupapi, "SetupDiGetDeviceInterfaceDetailA",
                  f.SetupDiGetDeviceInterfaceDetailA) &&
           LookUp(setupapi, "SetupDiGetClassDevsA", f.SetupDiGetClassDevsA) &&
           LookUp(setupapi, "SetupDiEnumDeviceInterfaces", f.SetupDiEnumDeviceInterfaces) &&
           LookUp(setupapi, "SetupDiDestroyDeviceInfoList", f.SetupDiDestroyDeviceInfoList);
}

}  // namespace

bool IowKit2LoadPlatform(IowKit2HidLibraries& libraries, IowKit2HidFunctions& functions) {
    if (LoadLibraries(libraries) && LookUpFunctions(libraries, functions)) {
        return true;
    }
    // Freeing the libraries must not replace the failing step's code.
    const DWORD code = GetLastError();
    IowKit2UnloadPlatform(libraries, functions);
    SetLastError(code);
    return false;
}

void IowKit2UnloadPlatform(IowKit2HidLibraries& libraries, IowKit2HidFunctions& functions) {
    functions = IowKit2HidFunctions{};
    libraries.setupapi.reset();
    libraries.cfgmgr32.reset();
    libraries.hid.reset();
}
