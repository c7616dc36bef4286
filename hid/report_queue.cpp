#include "hid/report_queue.h"

#include <algorithm>
#include <cstring>

#include "hid/layer_state.h"

int IowKit2QueueReport(IowKit2Device& device, unsigned pipe, const uint8_t* report, uint32_t size) {
    IowKit2Pipe& slot = device.pipes[pipe];
    std::lock_guard lock(slot.queueLock);
    const bool full = slot.queueCount == kIowKit2QueueSlots;
    // When full, the tail is the oldest report's slot: it is reused.
    IowKit2ReportBlock& block = slot.queue[slot.queueTail];
    if (!block) {
        // Each slot's block is allocated once and reused from then on.
        block.reset(
            static_cast<uint8_t*>(IowKit2Layer().platform->HeapAllocate(kIowKit2ReportSize)));
        if (!block) {
            return 0;
        }
    }
    std::memset(block.get(), 0, kIowKit2ReportSize);
    std::memcpy(block.get(), report, std::min<uint32_t>(size, kIowKit2ReportSize));
    slot.queueTail = (slot.queueTail + 1) % kIowKit2QueueSlots;
    if (full) {
        slot.queueHead = (slot.queueHead + 1) % kIowKit2QueueSlots;
        return 0;
    }
    ++slot.queueCount;
    return 1;
}

void IowKit2ReleaseQueue(IowKit2Device& device, unsigned pipe) {
    IowKit2Pipe& slot = device.pipes[pipe];
    std::lock_guard lock(slot.queueLock);
    for (IowKit2ReportBlock& block : slot.queue) {
        block.reset();
    }
    slot.queueHead = 0;
    slot.queueTail = 0;
    slot.queueCount = 0;
}

std::vector<std::array<uint8_t, kIowKit2ReportSize>> IowKit2QueuedReports(IowKit2Device& device,
                                                                          unsigned pipe) {
    IowKit2Pipe& slot = device.pipes[pipe];
    std::lock_guard lock(slot.queueLock);
    std::vector<std::array<uint8_t, kIowKit2ReportSize>> reports(slot.queueCount);
    for (uint32_t i = 0; i < slot.queueCount; ++i) {
        const uint32_t index = (slot.queueHead + i) % kIowKit2QueueSlots;
        std::memcpy(reports[i].data(), slot.queue[index].get(), kIowKit2ReportSize);
    }
    return reports;
}
