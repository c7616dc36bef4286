// The user-mode end of the virtual switch bus driver's control device:
// plugs and unplugs switches, hands their input reports down, and takes the
// reports the program writes to them.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "hid/sim/virtual_switch.h"
#include "hid/win32/unique_handles.h"
#include "tests/hidbus/bus_control.h"

class BusLink {
  public:
    // The control device, waiting up to waitMs for the driver to come up;
    // nullptr when it does not.
    static std::unique_ptr<BusLink> Open(DWORD waitMs);

    bool Plug(uint32_t switchId, uint16_t productId, uint16_t versionNumber,
              const std::u16string& serialNumber);
    bool Unplug(uint32_t switchId);
    bool Input(uint32_t switchId, unsigned pipe, const uint8_t* report, size_t size);
    bool CompleteWrite(uint32_t writeTag, bool succeeded);
    // Waits up to limitMs until both HID interfaces of the switch are there
    // (present) or gone, as a program's device enumeration sees them.
    static bool AwaitHidInterfaces(uint32_t switchId, bool present, DWORD limitMs);
    // "The devices changed" to every top-level window, as Windows says it
    // after each device-node change: Wine 8.0 does not always say it once a
    // switch's HID interfaces are there.
    static void BroadcastDevicesChanged();
    // The next report the program wrote to any switch, waiting until one
    // comes or stop is set; none when stopped or the device failed. Call it
    // from one thread.
    std::optional<PeloBusWrite> NextWrite(HANDLE stop);

  private:
    BusLink(iowkit2_win32::UniqueHandle control, iowkit2_win32::UniqueHandle writes,
            iowkit2_win32::UniqueHandle writeEvent);
    bool Control(DWORD code, const void* in, DWORD inSize);

    iowkit2_win32::UniqueHandle control_;
    // Its own overlapped handle, so a pending NEXT_WRITE never holds up the
    // other requests.
    iowkit2_win32::UniqueHandle writes_;
    iowkit2_win32::UniqueHandle writeEvent_;
};
