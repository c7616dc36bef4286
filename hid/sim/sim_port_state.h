// State of the bus's open read handles and writes in flight; every field is
// guarded by the bus mutex.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "hid/sim/sim_bus.h"

namespace hidsim {

struct ReadPortState {
    std::deque<std::vector<uint8_t>> buffered;
    uint32_t capacity = kDefaultInputBuffers;
    // The pending read: where its report goes.
    bool pending = false;
    uint8_t* buffer = nullptr;
    uint32_t length = 0;
    bool failNext = false;
    // The last completed read.
    bool completedOk = false;
    uint32_t completedSize = 0;
    bool waiting = false;
};

// A write in flight. It lives in the writing call's frame: the bus drops
// every reference to it before that call returns.
struct WriteOperation {
    enum class Stage { kQueued, kTaken, kDone };
    std::vector<uint8_t> data;
    Stage stage = Stage::kQueued;
    uint32_t error = 0;
    uint32_t bytes = 0;
};

}  // namespace hidsim
