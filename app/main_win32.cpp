// PelorandixControlCenter.exe: the program on the real HID devices.
#include <windows.h>

#include "app/tray_control_app_win32.h"
#include "hid/win32/install.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    IowKit2UseWin32();
    CTrayControlApp app;
    return app.Run();
}
