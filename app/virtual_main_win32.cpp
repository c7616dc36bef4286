// PelorandixControlCenter-virtual.exe: the program with the virtual switch
// plugged in at start, for a machine without a switch and for the end-to-end
// tests. Every report crossing the switch's pipe goes to standard output,
// one flushed line each; standard input takes the switch's commands (type
// "help").
#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "app/tray_control_app_win32.h"
#include "hid/iowkit2.h"
#include "hid/platform.h"
#include "hid/sim/console_io_win32.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/switch_console.h"
#include "hid/sim/virtual_switch.h"
#include "hid/win32/install.h"

namespace {

// Reads command lines until standard input ends; touches only the virtual
// switch, which is safe to use from any thread.
void ServeCommands(std::shared_ptr<hidsim::VirtualSwitch> device) {
    hidsim::SwitchConsole console(device);
    hidsim::ForEachInputLine(
        [&console](const std::string& line) { hidsim::WriteConsoleLine(console.Execute(line)); });
}

}  // namespace

int main() {
    auto bus = hidsim::Bus::Make(hidsim::Clock::kReal);
    auto device = hidsim::VirtualSwitch::Make(bus);
    device->SetTrafficListener([](hidsim::Direction direction, const uint8_t* report, size_t size) {
        hidsim::WriteConsoleLine(hidsim::WireLogLine(direction, report, size));
    });
    device->Plug();
    IowKit2InstallPlatform(bus->MakePlatform());
    IowKit2InstallWindowCarrier();

    // Blocked in ReadFile until the process ends: it owns nothing of the
    // program's windows.
    std::thread(ServeCommands, device).detach();

    CTrayControlApp app;
    return app.Run();
}
