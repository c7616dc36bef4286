#include "hid/report_bench.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStreamReports = 100000;
constexpr int kLatencyReports = 2000;
constexpr int kWrites = 200;
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

void Send(const ReportBenchSource& source, int index) {
    const uint8_t report[] = {9,
                              4,
                              0x55,
                              static_cast<uint8_t>(index),
                              static_cast<uint8_t>(index >> 8),
                              static_cast<uint8_t>(index >> 16),
                              0,
                              0};
    bench.sent[index] = Clock::now();
    source.send(report, sizeof report);
}

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

}  // namespace

void ReportBenchDeviceCallback(int event, IowKit2Handle device, void*) {
    if (event == kIowKit2Arrival && bench.device == nullptr) {
        bench.device = device;
        IowKit2SetClaimed(device, 1);
        IowKit2SetReadCallback(device, 1, &OnReport, nullptr);
    }
}

bool RunReportBench(BenchOwner& owner, const ReportBenchSource& source) {
    if (!owner.RunUntil([] { return bench.device != nullptr; }, kLimit)) {
        std::fprintf(stderr, "report bench: the device did not arrive\n");
        return false;
    }
    // Throughput: the device keeps the platform's buffer busy.
    bench.sent.resize(kStreamReports);
    bench.arrived.resize(kStreamReports);
    const auto streamStart = Clock::now();
    std::thread streamer([&] {
        for (int index = 0; index < kStreamReports; ++index) {
            while (index - bench.received.load() >= static_cast<int>(source.backlog)) {
                std::this_thread::yield();
            }
            Send(source, index);
        }
    });
    const bool streamed =
        owner.RunUntil([] { return bench.received.load() == kStreamReports; }, kLimit);
    const auto streamEnd = Clock::now();
    streamer.join();
    const double rate = bench.received.load() / Seconds(streamEnd - streamStart);
    std::printf("throughput: %d reports in %.3f s: %.0f reports/s (%.0f times a full-speed pipe)\n",
                bench.received.load(), Seconds(streamEnd - streamStart), rate,
                rate / kUsbReportsPerSecond);

    // Latency: one report at a time, from the device to the callback.
    bench.received = 0;
    std::fill(bench.arrived.begin(), bench.arrived.end(), Clock::time_point{});
    std::atomic<bool> pinging{true};
    std::thread pinger([&] {
        for (int index = 0; index < kLatencyReports && pinging; ++index) {
            Send(source, index);
            while (bench.received.load() <= index && pinging) {
                std::this_thread::yield();
            }
        }
    });
    const bool pinged =
        owner.RunUntil([] { return bench.received.load() == kLatencyReports; }, kLimit);
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

    // A port command to the wire: a set-port report written until the device
    // took it.
    std::vector<double> writes;
    const uint8_t setPort[kIowKit2ReportSize] = {9, 4, 11, 2, 2};
    for (int write = 0; write < kWrites; ++write) {
        const auto start = Clock::now();
        if (IowKit2Write(bench.device, 1, setPort) == 0) {
            break;
        }
        writes.push_back(Seconds(Clock::now() - start) * 1e6);
    }
    std::sort(writes.begin(), writes.end());
    if (!writes.empty()) {
        std::printf("port command to the wire: median %.1f us (%zu set-port writes)\n",
                    writes[writes.size() / 2], writes.size());
    }
    return streamed && pinged && writes.size() == kWrites;
}
