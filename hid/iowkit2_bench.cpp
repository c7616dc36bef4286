// The report benchmark on the virtual switch of the simulated bus. "--owner-loop"
// uses the portable owner loop even where the build has a carrier of its own.
#include <cstdio>
#include <cstring>

#include "hid/report_bench.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/virtual_switch.h"

namespace {

// Stays below the platform's 128 buffered reports, so none is dropped.
constexpr size_t kBacklog = 100;

}  // namespace

int main(int argc, char** argv) {
    const bool ownerLoop = argc > 1 && std::strcmp(argv[1], "--owner-loop") == 0;
    auto bus = hidsim::Bus::Make(hidsim::Clock::kReal);
    auto device = hidsim::VirtualSwitch::Make(bus);
    device->Plug();
    std::unique_ptr<BenchOwner> owner = ownerLoop ? MakeOwnerLoopBenchOwner() : MakeBenchOwner();
    IowKit2InstallPlatform(bus->MakePlatform());
    IowKit2InstallCarrier(owner->MakeCarrier());
    if (IowKit2RegisterDeviceCallback(&ReportBenchDeviceCallback, nullptr) != 0) {
        return 1;
    }
    std::printf("iowkit2_bench: virtual switch, %s carrier\n", owner->Name());
    hidsim::Interface& pipe = device->Pipe(1);
    const bool ran = RunReportBench(*owner, {[&pipe](const uint8_t* report, size_t size) {
                                                 pipe.SendInputReport(report, size);
                                             },
                                             kBacklog});
    std::printf("%llu reports dropped by the platform\n",
                static_cast<unsigned long long>(pipe.Reads().reportsDropped));
    IowKit2Shutdown();
    return ran ? 0 : 1;
}
