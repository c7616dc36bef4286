// pelorandix-virtual.exe: pelorandix.exe with the virtual switch plugged in
// when no program runs, as PelorandixControlCenter-virtual.exe has it. The
// wire log (every report on the switch's pipe, one line each) goes to
// standard error: standard output is the command's, --status's JSON.
#include <windows.h>

#include <memory>
#include <string>

#include "cli/command_line_win32.h"
#include "hid/platform.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/switch_console.h"
#include "hid/sim/virtual_switch.h"
#include "hid/win32/install.h"

namespace {

// The switch's traffic listener; its calls never overlap.
void LogToStandardError(hidsim::Direction direction, const uint8_t* report, size_t size) {
    const std::string line = hidsim::WireLogLine(direction, report, size) + "\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
    // Kept until the process ends: the layer uses the bus to the last.
    std::shared_ptr<hidsim::VirtualSwitch> device;
    return cli::RunCommandLine(argc, argv, [&device] {
        auto bus = hidsim::Bus::Make(hidsim::Clock::kReal);
        device = hidsim::VirtualSwitch::Make(bus);
        device->SetTrafficListener(&LogToStandardError);
        device->Plug();
        IowKit2InstallPlatform(bus->MakePlatform());
        IowKit2InstallWindowCarrier();
    });
}
