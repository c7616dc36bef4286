// Streams reports from the virtual switch through the HID layer to a read
// callback on the owner thread, and prints how many reports a second get
// through and how long one report takes from the device to the callback.
// "--owner-loop" uses the portable owner loop even where the build has a
// carrier of its own.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "hid/bench_owner.h"
#include "hid/iowkit2.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/virtual_switch.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStreamReports = 100000;
constexpr int kLatencyReports = 2000;
// Stays below the platform's 128 buffered reports, so none is dropped.
constexpr size_t kBacklog = 100;
// A full-speed USB interrupt pipe carries at most this many reports a second.
constexpr double kUsbReportsPerSecond = 1000;
constexpr auto kLimit = std::chrono::seconds(120);

struct Bench {
    IowKit2Handle device = nullptr;
    std::atomic<int> received{0};
    std::vector<Clock::time_point> sent;
    std::vector<Clock::time_point> arrived;
};

Bench bench;

int OnReport(IowKit2Handle, unsigned, const uint8_t* report, unsigned, void*) {
    const int index = report[3] | report[4] << 8 | report[5] << 16;
    if (index < static_cast<int>(bench.arrived.size())) {
        bench.arrived[index] = Clock::now();
    }
    bench.received.fetch_add(1);
    return 1;
}

void OnDevice(int event, IowKit2Handle device, void*) {
    if (event == kIowKit2Arrival && bench.device == nullptr) {
        bench.device = device;
        IowKit2SetClaimed(device, 1);
        IowKit2SetReadCallback(device, 1, &OnReport, nullptr);
    }
}

void Send(hidsim::Interface& pipe, int index) {
    const uint8_t report[] = {9,
                              4,
                              0x55,
                              static_cast<uint8_t>(index),
                              static_cast<uint8_t>(index >> 8),
                              static_cast<uint8_t>(index >> 16)};
    bench.sent[index] = Clock::now();
    pipe.SendInputReport(report, sizeof report);
}

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

}  // namespace

int main(int argc, char** argv) {
    const bool ownerLoop = argc > 1 && std::strcmp(argv[1], "--owner-loop") == 0;
    auto bus = hidsim::Bus::Make(hidsim::Clock::kReal);
    auto device = hidsim::VirtualSwitch::Make(bus);
    device->Plug();
    std::unique_ptr<BenchOwner> owner = ownerLoop ? MakeOwnerLoopBenchOwner() : MakeBenchOwner();
    IowKit2InstallPlatform(bus->MakePlatform());
    IowKit2InstallCarrier(owner->MakeCarrier());
    if (IowKit2RegisterDeviceCallback(&OnDevice, nullptr) != 0 ||
        !owner->RunUntil([] { return bench.device != nullptr; }, kLimit)) {
        std::fprintf(stderr, "iowkit2_bench: the virtual switch did not arrive\n");
        return 1;
    }
    hidsim::Interface& pipe = device->Pipe(1);
    std::printf("iowkit2_bench: virtual switch, %s carrier\n", owner->Name());

    // Throughput: the device keeps the platform's buffer busy.
    bench.sent.resize(kStreamReports);
    bench.arrived.resize(kStreamReports);
    const auto streamStart = Clock::now();
    std::thread streamer([&] {
        for (int index = 0; index < kStreamReports; ++index) {
            while (pipe.Reads().buffered >= kBacklog) {
                std::this_thread::yield();
            }
            Send(pipe, index);
        }
    });
    const bool streamed =
        owner->RunUntil([] { return bench.received.load() == kStreamReports; }, kLimit);
    const auto streamEnd = Clock::now();
    streamer.join();
    const double rate = kStreamReports / Seconds(streamEnd - streamStart);
    std::printf(
        "throughput: %d reports in %.3f s: %.0f reports/s (%.0f times a full-speed pipe), "
        "%llu dropped by the platform\n",
        bench.received.load(), Seconds(streamEnd - streamStart), rate, rate / kUsbReportsPerSecond,
        static_cast<unsigned long long>(pipe.Reads().reportsDropped));

    // Latency: one report at a time, from the device to the callback.
    bench.received = 0;
    std::fill(bench.arrived.begin(), bench.arrived.end(), Clock::time_point{});
    std::atomic<bool> pinging{true};
    std::thread pinger([&] {
        for (int index = 0; index < kLatencyReports && pinging; ++index) {
            Send(pipe, index);
            while (bench.received.load() <= index && pinging) {
                std::this_thread::yield();
            }
        }
    });
    const bool pinged =
        owner->RunUntil([] { return bench.received.load() == kLatencyReports; }, kLimit);
    pinging = false;
    pinger.join();
    std::vector<double> latencies;
    for (int index = 0; index < kLatencyReports; ++index) {
        latencies.push_back(Seconds(bench.arrived[index] - bench.sent[index]) * 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf(
        "hand-over latency, device to callback: median %.1f us, 99th percentile %.1f us "
        "(%d reports one at a time)\n",
        latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100], kLatencyReports);

    IowKit2Shutdown();
    return streamed && pinged ? 0 : 1;
}
