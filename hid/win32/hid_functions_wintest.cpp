#include <gtest/gtest.h>

#include <string>

#include "hid/win32/hid_functions.h"
#include "hid/win32/win32_platform.h"

namespace {

// Set when the test runs with a platform library disabled in Wine.
std::string MissingLibrary() {
    char name[MAX_PATH] = {};
    return GetEnvironmentVariableA("IOWKIT2_TEST_MISSING_LIBRARY", name, MAX_PATH) ? name : "";
}

bool AllFourteenSet(const IowKit2HidFunctions& f) {
    return f.HidD_GetAttributes && f.HidD_GetHidGuid && f.HidD_GetPreparsedData && f.HidP_GetCaps &&
           f.HidD_FreePreparsedData && f.HidD_GetNumInputBuffers && f.HidD_SetNumInputBuffers &&
           f.HidD_GetSerialNumberString && f.HidD_GetIndexedString && f.CM_Get_Parent &&
           f.SetupDiGetDeviceInterfaceDetailA && f.SetupDiGetClassDevsA &&
           f.SetupDiEnumDeviceInterfaces && f.SetupDiDestroyDeviceInfoList;
}

bool NoneSet(const IowKit2HidFunctions& f) {
    return !f.HidD_GetAttributes && !f.HidD_GetHidGuid && !f.HidD_GetPreparsedData &&
           !f.HidP_GetCaps && !f.HidD_FreePreparsedData && !f.HidD_GetNumInputBuffers &&
           !f.HidD_SetNumInputBuffers && !f.HidD_GetSerialNumberString &&
           !f.HidD_GetIndexedString && !f.CM_Get_Parent && !f.SetupDiGetDeviceInterfaceDetailA &&
           !f.SetupDiGetClassDevsA && !f.SetupDiEnumDeviceInterfaces &&
           !f.SetupDiDestroyDeviceInfoList;
}

TEST(HidFunctions, LoadsTheFourteenFunctionsAndUnloadsThem) {
    if (!MissingLibrary().empty()) {
        GTEST_SKIP() << MissingLibrary() << " is disabled in this run";
    }
    ASSERT_EQ(GetModuleHandleA("hid.dll"), nullptr);
    IowKit2HidLibraries libraries;
    IowKit2HidFunctions functions;
    ASSERT_TRUE(IowKit2LoadPlatform(libraries, functions));
    EXPECT_TRUE(AllFourteenSet(functions));
    EXPECT_EQ(functions.HidD_GetAttributes,
              reinterpret_cast<decltype(functions.HidD_GetAttributes)>(reinterpret_cast<void*>(
                  GetProcAddress(GetModuleHandleA("hid.dll"), "HidD_GetAttributes"))));

    IowKit2UnloadPlatform(libraries, functions);
    EXPECT_TRUE(NoneSet(functions));
    EXPECT_EQ(GetModuleHandleA("hid.dll"), nullptr);

    // The platform object reports success as 0.
    IowKit2Win32Platform platform;
    EXPECT_EQ(platform.Load(), 0u);
    const auto ignore = [](const IowKit2InterfaceEntry&) {};
    EXPECT_TRUE(platform.VisitHidInterfaces(ignore));
    platform.Unload();
    EXPECT_FALSE(platform.VisitHidInterfaces(ignore));
}

TEST(HidFunctions, MissingLibraryFailsWithItsCodeAndLeavesNothingLoaded) {
    if (MissingLibrary().empty()) {
        GTEST_SKIP() << "runs with a platform library disabled";
    }
    IowKit2HidLibraries libraries;
    IowKit2HidFunctions functions;
    SetLastError(0);
    EXPECT_FALSE(IowKit2LoadPlatform(libraries, functions));
    EXPECT_EQ(GetLastError(), 126u);  // ERROR_MOD_NOT_FOUND
    EXPECT_TRUE(NoneSet(functions));
    EXPECT_FALSE(libraries.hid || libraries.cfgmgr32 || libraries.setupapi);
    // hid.dll loaded before the failing step and was released again.
    EXPECT_EQ(GetModuleHandleA("hid.dll"), nullptr);

    IowKit2Win32Platform platform;
    EXPECT_EQ(platform.Load(), 126u);
    EXPECT_EQ(GetLastError(), 126u);
    EXPECT_EQ(platform.OpenProbe("C:\\windows\\win.ini"), nullptr);
}

}  // namespace
