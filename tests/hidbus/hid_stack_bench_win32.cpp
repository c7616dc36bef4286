// The report benchmark through Wine's own HID stack: a switch of the test bus
// whose input reports go to the driver and are read by the HID layer on the
// Win32 platform (setupapi, hid.dll, overlapped reads); the reports the layer
// writes are taken as soon as the driver hands them over. Run it beside the
// cfgmgr32 stand-in with the DLL override cfgmgr32=n,b (scripts/measure does).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "hid/iowkit2.h"
#include "hid/report_bench.h"
#include "hid/win32/install.h"
#include "hid/win32/unique_handles.h"
#include "tests/hidbus/bus_link_win32.h"

namespace {

// A switch id of its own, apart from those of a running pelorandix-bus.exe.
constexpr uint32_t kBenchSwitch = 77;
constexpr uint16_t kSwitchProductId = 0x03EB;
constexpr uint16_t kRevision = 0x1012;
constexpr DWORD kDriverWaitMs = 20000;
// Wine's HID class driver reads on while the layer's handle buffers reports.
constexpr size_t kBacklog = 32;

}  // namespace

int main() {
    auto link = BusLink::Open(kDriverWaitMs);
    if (!link) {
        std::fprintf(stderr, "hid_stack_bench: the test bus is not running in this prefix\n");
        return 1;
    }
    if (link->Unplug(kBenchSwitch)) {
        BusLink::AwaitHidInterfaces(kBenchSwitch, false, kDriverWaitMs);
    }
    if (!link->Plug(kBenchSwitch, kSwitchProductId, kRevision, u"0000BE4C") ||
        !BusLink::AwaitHidInterfaces(kBenchSwitch, true, kDriverWaitMs)) {
        std::fprintf(stderr, "hid_stack_bench: the switch did not come up\n");
        return 1;
    }
    // Every write the layer makes is taken at once.
    iowkit2_win32::UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread taker([&] {
        while (auto write = link->NextWrite(stop.get())) {
            link->CompleteWrite(write->writeTag, true);
        }
    });

    std::unique_ptr<BenchOwner> owner = MakeBenchOwner();
    IowKit2InstallWin32Platform();
    IowKit2InstallCarrier(owner->MakeCarrier());
    bool ran = false;
    if (IowKit2RegisterDeviceCallback(&ReportBenchDeviceCallback, nullptr) == 0) {
        std::printf(
            "hid_stack_bench: a switch of the test bus through Wine's HID stack, %s "
            "carrier\n",
            owner->Name());
        ran = RunReportBench(*owner, {[&link](const uint8_t* report, size_t size) {
                                          link->Input(kBenchSwitch, 1, report, size);
                                      },
                                      kBacklog});
    }
    IowKit2Shutdown();
    SetEvent(stop.get());
    taker.join();
    link->Unplug(kBenchSwitch);
    return ran ? 0 : 1;
}
