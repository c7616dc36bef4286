// What the program calls once before starting the HID layer on Windows.
#pragma once

// The Win32 platform (hid.dll, cfgmgr32.dll, setupapi.dll) for the layer's
// next start.
void IowKit2InstallWin32Platform();
// The hidden-window carrier for the layer's next start; also the carrier to
// pair with the simulated device bus on Windows.
void IowKit2InstallWindowCarrier();
// Both of the above: the layer on real devices.
void IowKit2UseWin32();
