// The platform's HID and device-setup functions, looked up by name at run
// time: hid.dll, cfgmgr32.dll and setupapi.dll are not linked. Tests fill the
// table with stand-ins instead.
#pragma once

#include <windows.h>
// windows.h first: the HID and setup headers build on its types.
#include <cfgmgr32.h>
#include <hidsdi.h>
#include <setupapi.h>

#include "hid/win32/unique_handles.h"

struct IowKit2HidFunctions {
    // hid.dll
    decltype(&::HidD_GetAttributes) HidD_GetAttributes = nullptr;
    decltype(&::HidD_GetHidGuid) HidD_GetHidGuid = nullptr;
    decltype(&::HidD_GetPreparsedData) HidD_GetPreparsedData = nullptr;
    decltype(&::HidP_GetCaps) HidP_GetCaps = nullptr;
    decltype(&::HidD_FreePreparsedData) HidD_FreePreparsedData = nullptr;
    decltype(&::HidD_GetNumInputBuffers) HidD_GetNumInputBuffers = nullptr;
    decltype(&::HidD_SetNumInputBuffers) HidD_SetNumInputBuffers = nullptr;
    decltype(&::HidD_GetSerialNumberString) HidD_GetSerialNumberString = nullptr;
    decltype(&::HidD_GetIndexedString) HidD_GetIndexedString = nullptr;
    // cfgmgr32.dll
    decltype(&::CM_Get_Parent) CM_Get_Parent = nullptr;
    // setupapi.dll
    decltype(&::SetupDiGetDeviceInterfaceDetailA) SetupDiGetDeviceInterfaceDetailA = nullptr;
    decltype(&::SetupDiGetClassDevsA) SetupDiGetClassDevsA = nullptr;
    decltype(&::SetupDiEnumDeviceInterfaces) SetupDiEnumDeviceInterfaces = nullptr;
    decltype(&::SetupDiDestroyDeviceInfoList) SetupDiDestroyDeviceInfoList = nullptr;
};

// The three libraries the table's functions live in, in loading order.
struct IowKit2HidLibraries {
    iowkit2_win32::UniqueModule hid;
    iowkit2_win32::UniqueModule cfgmgr32;
    iowkit2_win32::UniqueModule setupapi;
};

// Loads "hid.dll", "cfgmgr32.dll" and "setupapi.dll" and looks up the
// fourteen functions. Succeeds only when all were found; otherwise unloads
// everything, clears the table and leaves the failing step's error code as
// the thread's last-error code.
bool IowKit2LoadPlatform(IowKit2HidLibraries& libraries, IowKit2HidFunctions& functions);
// Releases the libraries and forgets every looked-up function.
void IowKit2UnloadPlatform(IowKit2HidLibraries& libraries, IowKit2HidFunctions& functions);
