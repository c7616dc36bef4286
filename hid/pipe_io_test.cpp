#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "hid/layer_state.h"
#include "hid/layer_test_fixture.h"
#include "hid/pipe_reader.h"
#include "hid/report_queue.h"

namespace {

using Report = std::vector<uint8_t>;

// The virtual switch, plugged before the layer starts and opened by the
// first dispatch.
class PipeIoTest : public LayerTest {
  protected:
    void SetUp() override {
        LayerTest::SetUp();
        switch_->Plug();
        ASSERT_EQ(Start(), 0u);
        Dispatch();
        ASSERT_EQ(Arrivals().size(), 1u);
        device_ = Arrivals()[0];
        owner_ = std::this_thread::get_id();
    }

    hidsim::Interface& Pipe(unsigned pipe) { return switch_->Pipe(pipe); }

    void Send(unsigned pipe, Report report) {
        Pipe(pipe).SendInputReport(report.data(), report.size());
    }

    // Sends, and dispatches until the reader is back in its wait: the report
    // went to the callback or to the queue.
    void SendAndDeliver(unsigned pipe, Report report) {
        const uint64_t delivered = Pipe(pipe).Reads().reportsDelivered;
        Send(pipe, std::move(report));
        ASSERT_TRUE(loop_->RunUntil([&] {
            const hidsim::ReadActivity reads = Pipe(pipe).Reads();
            return reads.reportsDelivered > delivered && reads.waiting && reads.readPending &&
                   reads.buffered == 0;
        }));
    }

    std::vector<Report> Queued(unsigned pipe) {
        std::vector<Report> reports;
        for (const auto& block : IowKit2QueuedReports(*device_, pipe)) {
            reports.emplace_back(block.begin(), block.begin() + 8);
        }
        return reports;
    }

    void Claim() {
        ASSERT_EQ(IowKit2SetClaimed(device_, 1), 1);
        ASSERT_EQ(IowKit2SetReadCallback(device_, 1, &PipeIoTest::OnReport, this), 1);
    }

    static int OnReport(IowKit2Handle device, unsigned pipe, const uint8_t* report, unsigned length,
                        void* context) {
        auto* self = static_cast<PipeIoTest*>(context);
        EXPECT_EQ(std::this_thread::get_id(), self->owner_);
        EXPECT_EQ(device, self->device_);
        EXPECT_EQ(length, pipe == 1 ? 8u : 5u);
        self->seen_.push_back({pipe, Report(report, report + length)});
        return self->consume_;
    }

    // Every operation on the handle fails as on a handle never given out.
    static void ExpectHandleGone(IowKit2Handle device) {
        const uint8_t query[64] = {9, 4, 2};
        IowKit2SetLastError(0);
        EXPECT_EQ(IowKit2Write(device, 1, query), 0);
        EXPECT_EQ(IowKit2GetLastError(), 87u);
        EXPECT_EQ(IowKit2GetProductId(device), 0);
        EXPECT_EQ(IowKit2GetLastError(), 87u);
        EXPECT_EQ(IowKit2SetClaimed(device, 0), 0);
        EXPECT_EQ(IowKit2SetReadCallback(device, 1, nullptr, nullptr), 0);
    }

    // Asks for a shutdown, then dispatches (as a message box would) while a
    // pipe-0 report waits to be handed over.
    static int ShutDownAndDispatch(IowKit2Handle device, unsigned, const uint8_t*, unsigned,
                                   void* context) {
        auto* self = static_cast<PipeIoTest*>(context);
        ++self->shutdownsAsked_;
        IowKit2Shutdown();
        ExpectHandleGone(device);
        self->Send(0, {1, 2, 3, 4, 5});
        EXPECT_TRUE(self->bus_->Await([&] { return self->loop_->PendingHandOvers() == 1; }));
        self->Dispatch();
        // Served with "not consumed": the reader queues it.
        EXPECT_TRUE(
            self->bus_->Await([&] { return IowKit2QueuedReports(*device, 0).size() == 1; }));
        return 1;
    }

    static int UnplugAndDispatch(IowKit2Handle, unsigned, const uint8_t*, unsigned, void* context) {
        auto* self = static_cast<PipeIoTest*>(context);
        self->switch_->Unplug();
        self->Dispatch();
        EXPECT_TRUE(self->Removals().empty());
        return 1;
    }

    static int ShutDown(IowKit2Handle, unsigned, const uint8_t*, unsigned, void* context) {
        IowKit2Shutdown();
        EXPECT_TRUE(static_cast<PipeIoTest*>(context)->bus_->IsLoaded());
        return 1;
    }

    std::shared_ptr<hidsim::VirtualSwitch> switch_ = hidsim::VirtualSwitch::Make(bus_);
    IowKit2Handle device_ = nullptr;
    std::thread::id owner_;
    std::vector<std::pair<unsigned, Report>> seen_;
    int consume_ = 1;
    int shutdownsAsked_ = 0;
};

TEST_F(PipeIoTest, WritesNeedAClaimAValidPipeAndABuffer) {
    const uint8_t setPort[64] = {9, 4, 11, 2, 2};
    IowKit2SetLastError(0);
    EXPECT_EQ(IowKit2Write(device_, 1, setPort), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_EQ(IowKit2SetReadCallback(device_, 1, &PipeIoTest::OnReport, this), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_EQ(IowKit2Write(nullptr, 1, setPort), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);

    ASSERT_EQ(IowKit2SetClaimed(device_, 1), 1);
    EXPECT_EQ(IowKit2Write(device_, 1, setPort), 8);
    EXPECT_EQ(IowKit2GetLastError(), 0u);
    EXPECT_EQ(IowKit2Write(device_, 0, setPort), 5);  // pipe 0's output report length
    IowKit2SetLastError(0);
    EXPECT_EQ(IowKit2Write(device_, 2, setPort), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_EQ(IowKit2SetReadCallback(device_, 2, &PipeIoTest::OnReport, this), 0);
    EXPECT_EQ(IowKit2Write(device_, 1, nullptr), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    // Exactly the output report length went out.
    EXPECT_EQ(Pipe(1).Writes().writesSucceeded, 1u);

    Pipe(1).FailWrites(true);
    EXPECT_EQ(IowKit2Write(device_, 1, setPort), 0);
    EXPECT_EQ(IowKit2GetLastError(), 1460u);
}

TEST_F(PipeIoTest, ReportsReachTheCallbackOnTheOwnerThreadInOrder) {
    Claim();
    Report channelEnable(64, 0);
    channelEnable[0] = 8;
    channelEnable[1] = 1;
    channelEnable[2] = 3;
    ASSERT_EQ(IowKit2Write(device_, 1, channelEnable.data()), 8);
    Report query(64, 0);
    query[0] = 9;
    query[1] = 4;
    query[2] = 2;
    ASSERT_EQ(IowKit2Write(device_, 1, query.data()), 8);
    query[2] = 7;
    ASSERT_EQ(IowKit2Write(device_, 1, query.data()), 8);
    Report setPort(64, 0);
    setPort[0] = 9;
    setPort[1] = 4;
    setPort[2] = 11;
    setPort[3] = 2;
    setPort[4] = 1;
    ASSERT_EQ(IowKit2Write(device_, 1, setPort.data()), 8);
    // Nothing is seen while the owner thread does not dispatch.
    ASSERT_TRUE(bus_->Await([&] { return loop_->PendingHandOvers() == 1; }));
    EXPECT_TRUE(seen_.empty());
    ASSERT_TRUE(loop_->RunUntil([&] { return seen_.size() == 2; }));
    EXPECT_EQ(seen_[0], (std::pair<unsigned, Report>{1, {9, 4, 2, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(seen_[1], (std::pair<unsigned, Report>{1, {9, 4, 2, 0, 2, 1, 0, 0}}));

    // Pipe 0 has no callback: its reports are queued, and pipe 1's callback
    // never sees them.
    SendAndDeliver(0, {1, 2, 3, 4, 5});
    EXPECT_EQ(seen_.size(), 2u);
    EXPECT_EQ(IowKit2QueuedReports(*device_, 0).size(), 1u);
    EXPECT_TRUE(Queued(1).empty());
}

TEST_F(PipeIoTest, UnconsumedReportsGoToTheQueue) {
    Claim();
    consume_ = 0;
    SendAndDeliver(1, {9, 4, 2, 0, 1});
    consume_ = 1;
    SendAndDeliver(1, {9, 4, 2, 0, 2});
    ASSERT_EQ(IowKit2SetReadCallback(device_, 1, nullptr, nullptr), 1);
    SendAndDeliver(1, {9, 4, 2, 0, 3});
    ASSERT_EQ(IowKit2SetReadCallback(device_, 1, &PipeIoTest::OnReport, this), 1);
    ASSERT_EQ(IowKit2SetClaimed(device_, 0), 1);
    SendAndDeliver(1, {9, 4, 2, 0, 4});
    EXPECT_EQ(seen_.size(), 2u);
    EXPECT_EQ(Queued(1),
              (std::vector<Report>{
                  {9, 4, 2, 0, 1, 0, 0, 0}, {9, 4, 2, 0, 3, 0, 0, 0}, {9, 4, 2, 0, 4, 0, 0, 0}}));
}

TEST_F(PipeIoTest, The129thUnconsumedReportDropsTheFirst) {
    // Unclaimed: every report is queued. The platform buffers 128 reports,
    // so the first 128 can go at once.
    for (int i = 1; i <= 128; ++i) {
        Send(1, {9, 4, 2, 0, static_cast<uint8_t>(i)});
    }
    ASSERT_TRUE(bus_->Await([&] { return Pipe(1).Reads().reportsDelivered == 128; }));
    ASSERT_TRUE(Pipe(1).AwaitIdleReader());
    EXPECT_EQ(Pipe(1).Reads().reportsDropped, 0u);
    const uint64_t blocks = bus_->Heap().allocations;
    Send(1, {9, 4, 2, 0, 129});
    ASSERT_TRUE(bus_->Await([&] { return Pipe(1).Reads().reportsDelivered == 129; }));
    ASSERT_TRUE(Pipe(1).AwaitIdleReader());

    std::vector<Report> queued = Queued(1);
    ASSERT_EQ(queued.size(), 128u);
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(queued[i], (Report{9, 4, 2, 0, static_cast<uint8_t>(i + 2), 0, 0, 0}));
    }
    // Slots keep their blocks: the 129th report needed no new one.
    EXPECT_EQ(bus_->Heap().allocations, blocks);
}

TEST_F(PipeIoTest, QueueReportSaysWhenItDropped) {
    IowKit2Device& record = *device_;
    IowKit2StopReader(record, 0, true);  // only this test touches pipe 0's queue now
    const uint8_t report[64] = {7};
    for (unsigned i = 0; i < 128; ++i) {
        ASSERT_EQ(IowKit2QueueReport(record, 0, report, 5), 1);
    }
    EXPECT_EQ(IowKit2QueueReport(record, 0, report, 5), 0);
    EXPECT_EQ(record.pipes[0].queueCount, 128u);
    IowKit2ReleaseQueue(record, 0);
    EXPECT_TRUE(IowKit2QueuedReports(record, 0).empty());
}

TEST_F(PipeIoTest, AReadStaysPendingUntilAFailureThenIsReissuedEachIntervalAndAsksForAScan) {
    ASSERT_TRUE(Pipe(1).AwaitIdleReader());
    const hidsim::ReadActivity before = Pipe(1).Reads();
    EXPECT_EQ(before.lastWaitLimitMs, 250u);
    for (int i = 0; i < 3; ++i) {
        ASSERT_GE(bus_->ExpireWaits(), 1u);
        ASSERT_TRUE(
            bus_->Await([&] { return Pipe(1).Reads().waitsEntered > before.waitsEntered + i; }));
        ASSERT_TRUE(Pipe(1).AwaitIdleReader());
    }
    EXPECT_EQ(Pipe(1).Reads().readsBegun, before.readsBegun);
    EXPECT_EQ(Pipe(1).Reads().readsCancelled, 0u);

    Pipe(1).FailPendingReads();
    ASSERT_TRUE(bus_->Await([&] { return Pipe(1).Reads().readsBegun == before.readsBegun + 1; }));
    ASSERT_TRUE(Pipe(1).AwaitIdleReader());
    EXPECT_EQ(loop_->PendingDeviceChanges(), 0u);
    for (uint64_t i = 1; i <= 3; ++i) {
        ASSERT_GE(bus_->ExpireWaits(), 1u);
        ASSERT_TRUE(bus_->Await([&] { return Pipe(1).Reads().readsCancelled == i; }));
        ASSERT_TRUE(Pipe(1).AwaitIdleReader());
        EXPECT_EQ(Pipe(1).Reads().readsBegun, before.readsBegun + 1 + i);
        // Nothing came for an interval after a failure: the device may have
        // gone unannounced, so one scan is asked for per run of failures.
        EXPECT_EQ(loop_->PendingDeviceChanges(), 1u);
    }
    EXPECT_EQ(Pipe(1).Reads().lastWaitLimitMs, 250u);
    // Reports still get through afterwards (the scan finds the device there).
    SendAndDeliver(1, {9, 4, 2});
    EXPECT_EQ(Queued(1).size(), 1u);
    EXPECT_EQ(Arrivals().size(), 1u);
    EXPECT_TRUE(Removals().empty());
}

TEST_F(PipeIoTest, StoppingDuringAHandOverNeverHangsAndKeepsTheReport) {
    Claim();
    Send(1, {9, 4, 2, 0, 3});
    ASSERT_TRUE(bus_->Await([&] { return loop_->PendingHandOvers() == 1; }));
    // The device goes while its reader waits for the owner thread; the refresh
    // runs before the hand-over is served.
    switch_->Unplug();
    IowKit2DevicesChanged();
    EXPECT_TRUE(seen_.empty());
    ASSERT_EQ(Removals(), std::vector<IowKit2Handle>{device_});
    // Still claimed: closed but kept, with the abandoned report in its queue.
    EXPECT_EQ(Queued(1), (std::vector<Report>{{9, 4, 2, 0, 3, 0, 0, 0}}));
    EXPECT_EQ(Pipe(1).Reads().openPorts, 0u);
    Dispatch();
    EXPECT_TRUE(seen_.empty());
}

TEST_F(PipeIoTest, ShutdownDuringAHandOverNeverHangs) {
    Claim();
    Send(1, {9, 4, 2});
    Send(0, {1, 2, 3});
    ASSERT_TRUE(bus_->Await([&] { return loop_->PendingHandOvers() == 1; }));
    IowKit2Shutdown();
    EXPECT_TRUE(seen_.empty());
    EXPECT_EQ(Pipe(1).Reads().openPorts, 0u);
    EXPECT_EQ(bus_->Heap().liveBlocks, 0u);
}

// On Windows the devices-changed broadcast is a sent message: the owner
// thread runs it while it waits for a reader during a shutdown, as it serves
// that reader's hand-over. Here serving a hand-over delivers such a change.
class ChangeDuringShutdownTest : public PipeIoTest {
  protected:
    ChangeDuringShutdownTest() {
        IowKit2OwnerLoop::Handlers handlers;
        handlers.serveReport = [this](unsigned pipe, IowKit2Handle device) {
            if (changeWhileServing_) {
                IowKit2DevicesChanged();
            }
            return IowKit2ServeReport(pipe, device);
        };
        loop_ = IowKit2OwnerLoop::Make(handlers);
    }

    bool changeWhileServing_ = false;
};

TEST_F(ChangeDuringShutdownTest, ADeviceChangeWhileShuttingDownAnnouncesNothing) {
    Claim();
    Send(1, {9, 4, 2});
    ASSERT_TRUE(bus_->Await([&] { return loop_->PendingHandOvers() == 1; }));
    changeWhileServing_ = true;
    const std::vector<DeviceEvent> before = events_;
    IowKit2Shutdown();
    EXPECT_EQ(events_, before);
    EXPECT_TRUE(seen_.empty());
    EXPECT_TRUE(IowKit2Layer().openList.IsEmpty());
    EXPECT_EQ(bus_->Heap().liveBlocks, 0u);
}

TEST_F(PipeIoTest, ARefreshOrShutdownAskedForInsideAReadCallbackWaitsForItsEnd) {
    // Inside the callback the device goes and the owner dispatches (as a
    // message box would): the refresh cannot stop the reader that waits for
    // this very callback, so it runs after the callback returned.
    Claim();
    ASSERT_EQ(IowKit2SetReadCallback(device_, 1, &PipeIoTest::UnplugAndDispatch, this), 1);
    Send(1, {9, 4, 2});
    ASSERT_TRUE(loop_->RunUntil([&] { return !Removals().empty(); }));
    EXPECT_EQ(Removals(), std::vector<IowKit2Handle>{device_});

    // A shutdown inside a read callback happens at the next dispatch.
    switch_->Plug();
    Dispatch();
    ASSERT_EQ(Arrivals().size(), 2u);
    device_ = Arrivals()[1];
    Claim();
    ASSERT_EQ(IowKit2SetReadCallback(device_, 1, &PipeIoTest::ShutDown, this), 1);
    Send(1, {9, 4, 2});
    ASSERT_TRUE(loop_->RunUntil([&] { return !bus_->IsLoaded(); }));
    EXPECT_FALSE(loop_->IsCreated());
    EXPECT_EQ(bus_->Heap().liveBlocks, 0u);
}

TEST_F(PipeIoTest, OnceAShutdownIsAskedForNoCallbackRunsAndTheHandlesFail) {
    // Asked for inside a read callback: the shutdown waits for the next
    // dispatch, but the program hears nothing more from the layer.
    Claim();
    ASSERT_EQ(IowKit2SetReadCallback(device_, 0, &PipeIoTest::OnReport, this), 1);
    ASSERT_EQ(IowKit2SetReadCallback(device_, 1, &PipeIoTest::ShutDownAndDispatch, this), 1);
    Send(1, {9, 4, 2});
    ASSERT_TRUE(loop_->RunUntil([&] { return shutdownsAsked_ == 1; }));
    ASSERT_TRUE(bus_->IsLoaded());
    ExpectHandleGone(device_);
    // A report handed over before the shutdown runs is not delivered.
    Send(1, {9, 4, 2, 0, 1});
    ASSERT_TRUE(bus_->Await([&] { return loop_->PendingHandOvers() == 1; }));
    Dispatch();
    EXPECT_FALSE(bus_->IsLoaded());
    EXPECT_EQ(shutdownsAsked_, 1);
    EXPECT_TRUE(seen_.empty());

    // Asked for in a removal callback: a device closed later in the same
    // refresh serves the switch's pending hand-over without delivering it.
    ASSERT_EQ(Start(), 0u);
    auto kept = bus_->Plug(IowDevice(0x1500, u"00000001"));
    auto closedLater = bus_->Plug(IowDevice(0x1500, u"00000002"));
    Dispatch();
    ASSERT_EQ(Arrivals().size(), 4u);
    device_ = Arrivals()[3];
    ASSERT_EQ(IowKit2GetProductId(device_), 0x03EB);
    Claim();
    for (IowKit2Handle other : {Arrivals()[1], Arrivals()[2]}) {
        ASSERT_EQ(IowKit2SetClaimed(other, 1), 1);
        ASSERT_EQ(IowKit2SetReadCallback(other, 1, &PipeIoTest::OnReport, this), 1);
    }
    // Gone while claimed: closed, and announced again at every refresh.
    kept->Unplug();
    Dispatch();
    ASSERT_EQ(Removals().size(), 1u);
    // A report of the switch waits to be handed over, then one of the device
    // removed after the kept one: its reader cannot stop before both are served.
    Send(1, {9, 4, 2, 0, 2});
    ASSERT_TRUE(bus_->Await([&] { return loop_->PendingHandOvers() == 1; }));
    const uint8_t report[8] = {9, 4, 2, 0, 3};
    closedLater->GetInterface(1).SendInputReport(report, sizeof report);
    ASSERT_TRUE(bus_->Await([&] { return loop_->PendingHandOvers() == 2; }));
    closedLater->Unplug();
    onDevice_ = [&](int, IowKit2Handle) {
        IowKit2Shutdown();
        ExpectHandleGone(device_);
    };
    IowKit2DevicesChanged();
    EXPECT_EQ(Removals().size(), 2u);
    EXPECT_EQ(loop_->PendingHandOvers(), 0u);
    EXPECT_TRUE(seen_.empty());
    EXPECT_FALSE(bus_->IsLoaded());
}

TEST_F(PipeIoTest, ADeviceRemovedDuringAWriteLeavesTheListsConsistent) {
    Claim();
    const uint8_t setPort[64] = {9, 4, 11, 1, 1};
    Pipe(1).StallWrites(true);
    std::thread unplug([&] {
        Pipe(1).AwaitStalledWrite();
        switch_->Unplug();
    });
    EXPECT_EQ(IowKit2Write(device_, 1, setPort), 0);
    EXPECT_EQ(IowKit2GetLastError(), 1460u);
    unplug.join();
    // Gone, but not yet noticed: the platform refuses the write.
    EXPECT_EQ(IowKit2Write(device_, 1, setPort), 0);
    EXPECT_NE(IowKit2GetLastError(), 0u);

    Dispatch();
    ASSERT_EQ(Removals(), std::vector<IowKit2Handle>{device_});
    IowKit2SetLastError(0);
    EXPECT_EQ(IowKit2Write(device_, 1, setPort), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_EQ(IowKit2SetReadCallback(device_, 1, nullptr, nullptr), 0);
    EXPECT_EQ(IowKit2GetProductId(device_), 0x03EB);
    EXPECT_EQ(IowKit2GetLastError(), 0u);
    EXPECT_EQ(device_->stateMark, 0xF00FBEEFu);
    EXPECT_TRUE(IowKit2Layer().foundList.IsEmpty());
    EXPECT_EQ(IowKit2Layer().openList.Head(), device_);
    EXPECT_EQ(device_->next, nullptr);
}

}  // namespace
