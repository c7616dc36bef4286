// Plug and unplug the switch over and over while its pipe 1 streams reports
// and the owner thread writes to it: nothing hangs, races or leaks, and every
// report the platform handed to the layer either reached the callback, in
// order, or was kept in the queue, in order. Reports that arrive before the
// test has claimed the device go to the queue, which keeps only the newest
// 128, however long the claim takes: the switch sends fewer until then.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "hid/layer_test_fixture.h"
#include "hid/report_queue.h"

namespace {

// Streamed reports: [9, 4, kTag, sequence (24 bits, low byte first), ...].
constexpr uint8_t kTag = 0x55;
constexpr int kCycles = 40;
constexpr size_t kStreamBacklog = 48;
// Reports a device sends before the test's first write to it, which comes
// after its claim and read callback.
constexpr size_t kSentBeforeClaim = 48;
static_assert(kSentBeforeClaim < 128, "the queue must keep every report sent before the claim");

// The streamed report's sequence number; -1 for any other report.
int SequenceOf(const uint8_t* report) {
    return report[2] == kTag ? report[3] | report[4] << 8 | report[5] << 16 : -1;
}

class StressTest : public LayerTest {
  protected:
    static int OnReport(IowKit2Handle device, unsigned, const uint8_t* report, unsigned,
                        void* context) {
        auto* self = static_cast<StressTest*>(context);
        if (const int sequence = SequenceOf(report); sequence >= 0) {
            int& last = self->lastSequence_[device];
            if (sequence <= last) {
                ++self->outOfOrder_;
            }
            last = sequence;
        }
        ++self->consumed_;
        return 1;
    }

    void OnDeviceEvent(int event, IowKit2Handle device) {
        if (event == kIowKit2Arrival) {
            lastSequence_[device] = -1;
            // Claimed mid-stream: the first reports have gone to the queue
            // (unless the switch is already gone again). Once that failed,
            // the test stops waiting for it.
            IowKit2WritePort& port = *device->pipes[1].writePort;
            queuedBeforeClaim_ = queuedBeforeClaim_ && bus_->Await([&] {
                return !IowKit2QueuedReports(*device, 1).empty() || port.DeviceGone();
            });
            if (held_ == nullptr) {
                held_ = device;
                EXPECT_EQ(IowKit2SetClaimed(device, 1), 1);
                EXPECT_EQ(IowKit2SetReadCallback(device, 1, &StressTest::OnReport, this), 1);
                uint8_t enable[64] = {8, 1, 3};
                IowKit2Write(device, 1, enable);
            }
            ++arrivals_;
            return;
        }
        // Closed now: its readers are stopped, so its queues are final. They
        // hold the reports sent before the claim and at most one refused
        // while the device closed: never a full queue, so none was dropped.
        for (unsigned pipe = 0; pipe < kIowKit2PipeCount; ++pipe) {
            const auto reports = IowKit2QueuedReports(*device, pipe);
            EXPECT_LT(reports.size(), 128u);
            if (pipe == 1) {
                queued_ += reports.size();
                int last = -1;
                for (const auto& report : reports) {
                    if (const int sequence = SequenceOf(report.data()); sequence >= 0) {
                        if (sequence <= last) {
                            ++outOfOrder_;
                        }
                        last = sequence;
                    }
                }
            }
        }
        if (device == held_) {
            IowKit2SetClaimed(device, 0);
            held_ = nullptr;
        }
        ++removals_;
    }

    // Owner thread, between dispatches.
    void WriteToHeld() {
        if (held_ == nullptr) {
            return;
        }
        uint8_t setPort[64] = {9, 4, 11, static_cast<uint8_t>(writes_ % 4), 0};
        const int written = IowKit2Write(held_, 1, setPort);
        const uint32_t error = IowKit2GetLastError();
        // Written, or refused because the device has just gone.
        EXPECT_TRUE(written == 8 || (written == 0 && error != 0)) << written << " " << error;
        ++writes_;
    }

    IowKit2Handle held_ = nullptr;
    bool queuedBeforeClaim_ = true;
    std::map<IowKit2Handle, int> lastSequence_;
    uint64_t consumed_ = 0;
    uint64_t queued_ = 0;
    int outOfOrder_ = 0;
    int writes_ = 0;
    std::atomic<int> arrivals_{0};
    std::atomic<int> removals_{0};
};

TEST_F(StressTest, PlugCyclesWhileStreamingAndWriting) {
    auto device = hidsim::VirtualSwitch::Make(bus_);
    onDevice_ = [this](int event, IowKit2Handle handle) { OnDeviceEvent(event, handle); };
    ASSERT_EQ(Start(), 0u);

    std::atomic<bool> streaming{true};
    std::thread streamer([&] {
        std::shared_ptr<hidsim::Device> streamedTo;
        size_t sentBeforeClaim = 0;
        for (int sequence = 0; streaming; ++sequence) {
            auto plugged = device->CurrentDevice();
            if (!plugged) {
                std::this_thread::yield();
                continue;
            }
            if (plugged != streamedTo) {
                streamedTo = plugged;
                sentBeforeClaim = 0;
            }
            hidsim::Interface& pipe = plugged->GetInterface(1);
            // The owner thread may take long to claim the device (a loaded
            // machine): what it sends until then must fit the queue.
            const auto claimed = [&] { return pipe.Writes().writesBegun > 0; };
            const auto mayStream = [&] {
                const hidsim::ReadActivity reads = pipe.Reads();
                return reads.openPorts > 0 && reads.buffered < kStreamBacklog &&
                       (sentBeforeClaim < kSentBeforeClaim || claimed());
            };
            while (streaming && plugged->IsPlugged() && !mayStream()) {
                std::this_thread::yield();
            }
            if (!claimed()) {
                ++sentBeforeClaim;
            }
            const uint8_t report[] = {9,
                                      4,
                                      kTag,
                                      static_cast<uint8_t>(sequence),
                                      static_cast<uint8_t>(sequence >> 8),
                                      static_cast<uint8_t>(sequence >> 16)};
            pipe.SendInputReport(report, sizeof report);
            if (sequence % 64 == 0) {
                bus_->ExpireWaits();  // readers that failed reissue their reads
            }
        }
    });

    std::vector<std::shared_ptr<hidsim::Device>> plugged;
    std::atomic<bool> cycling{true};
    std::thread plugger([&] {
        for (int cycle = 0; cycle < kCycles; ++cycle) {
            const int arrived = arrivals_;
            device->Plug();
            plugged.push_back(device->CurrentDevice());
            if (cycle % 2 == 0) {
                // Let this one be found and stream a while.
                bus_->Await([&] { return arrivals_ > arrived; });
                const uint64_t delivered = plugged.back()->GetInterface(1).Reads().reportsDelivered;
                bus_->Await([&] {
                    return plugged.back()->GetInterface(1).Reads().reportsDelivered >
                           delivered + 50;
                });
            }
            device->Unplug();
            if (cycle % 3 == 0) {
                bus_->Await([&] { return removals_ == arrivals_; });
            }
        }
        cycling = false;
    });

    const bool finished = loop_->RunUntil(
        [&] {
            WriteToHeld();
            return !cycling;
        },
        std::chrono::seconds(120));
    plugger.join();
    streaming = false;
    streamer.join();
    ASSERT_TRUE(finished);
    ASSERT_TRUE(loop_->RunUntil([&] { return removals_ == arrivals_; }));
    EXPECT_GE(arrivals_, kCycles / 2);

    uint64_t delivered = 0;
    for (const auto& one : plugged) {
        delivered += one->GetInterface(1).Reads().reportsDelivered;
        EXPECT_EQ(one->GetInterface(1).Reads().openPorts, 0u);
    }
    EXPECT_GT(consumed_, 0u);
    EXPECT_TRUE(queuedBeforeClaim_);
    EXPECT_GT(queued_, 0u);
    EXPECT_EQ(outOfOrder_, 0);
    EXPECT_EQ(consumed_ + queued_, delivered);
    EXPECT_GT(writes_, 0);
    RecordProperty("arrivals", arrivals_.load());
    RecordProperty("consumed", static_cast<int>(consumed_));
    RecordProperty("queued", static_cast<int>(queued_));
    RecordProperty("writes", writes_);
}

}  // namespace
