// Streams reports from a device through the HID layer to a read callback on
// the owner thread, and prints how many reports a second get through and how
// long one report takes from the device to the callback. The device is the
// first arrival (the layer started with ReportBenchDeviceCallback); the
// report source puts a report on its pipe 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "hid/bench_owner.h"
#include "hid/iowkit2.h"

struct ReportBenchSource {
    // Sends an input report on pipe 1.
    std::function<void(const uint8_t* report, size_t size)> send;
    // Reports sent ahead of the callback at most, so that none is dropped.
    size_t backlog = 0;
};

// The device callback to start the layer with.
void ReportBenchDeviceCallback(int event, IowKit2Handle device, void* context);
// Waits for the device, then runs both rounds; false when one did not end.
bool RunReportBench(BenchOwner& owner, const ReportBenchSource& source);
