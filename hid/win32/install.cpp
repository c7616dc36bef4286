#include "hid/win32/install.h"

#include <memory>

#include "hid/carrier.h"
#include "hid/platform.h"
#include "hid/win32/win32_platform.h"
#include "hid/win32/window_carrier.h"

void IowKit2InstallWin32Platform() {
    IowKit2InstallPlatform(std::make_unique<IowKit2Win32Platform>());
}

void IowKit2InstallWindowCarrier() {
    IowKit2InstallCarrier(std::make_unique<IowKit2WindowCarrier>());
}

void IowKit2UseWin32() {
    IowKit2InstallWin32Platform();
    IowKit2InstallWindowCarrier();
}
