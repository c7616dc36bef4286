#include "hid/sim/sim_bus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace hidsim {
namespace {

InterfaceDescription Described(uint16_t productId, uint16_t inputLength, uint16_t outputLength) {
    InterfaceDescription description;
    description.attributes = {0x1214, productId, 0x0101};
    description.caps = IowKit2HidCaps{inputLength, outputLength};
    return description;
}

class SimBusTest : public ::testing::Test {
  protected:
    std::shared_ptr<Bus> bus_ = Bus::Make();
    std::unique_ptr<IowKit2Platform> platform_ = bus_->MakePlatform();
};

TEST_F(SimBusTest, ListsInterfacesInPlugOrderUnderTheirDeviceNode) {
    int changes = 0;
    platform_->SetDeviceChangeListener([&] { ++changes; });
    InterfaceDescription hidden = Described(0x1500, 8, 8);
    hidden.detailFails = true;
    auto first = bus_->Plug({{Described(0x1500, 5, 5), Described(0x1500, 8, 8)}});
    auto second = bus_->Plug({{hidden, Described(0x03EB, 5, 5)}});
    EXPECT_EQ(changes, 2);

    // Nodes resolve only while the listing runs, as in Wine.
    std::vector<std::string> paths;
    std::vector<std::optional<uint32_t>> grandParents;
    ASSERT_TRUE(platform_->VisitHidInterfaces([&](const IowKit2InterfaceEntry& entry) {
        paths.push_back(entry.devicePath);
        auto parent = platform_->GetParent(entry.node);
        EXPECT_TRUE(parent && *parent != first->Node());
        grandParents.push_back(parent ? platform_->GetParent(*parent) : std::nullopt);
    }));
    EXPECT_EQ(paths, (std::vector<std::string>{first->GetInterface(0).Path(),
                                               first->GetInterface(1).Path(),
                                               second->GetInterface(1).Path()}));
    EXPECT_EQ(grandParents[0], first->Node());
    EXPECT_EQ(grandParents[1], first->Node());
    EXPECT_EQ(grandParents[2], second->Node());
    EXPECT_FALSE(platform_->GetParent(first->GetInterface(0).Node()));
    EXPECT_NE(first->GetInterface(0).Path(), second->GetInterface(0).Path());

    first->Unplug();
    first->Unplug();  // already gone: no second change
    EXPECT_EQ(changes, 3);
    EXPECT_FALSE(first->IsPlugged());
    int listed = 0;
    EXPECT_TRUE(platform_->VisitHidInterfaces([&](const IowKit2InterfaceEntry&) { ++listed; }));
    EXPECT_EQ(listed, 1);
    EXPECT_EQ(platform_->OpenProbe(first->GetInterface(0).Path()), nullptr);

    platform_->SetDeviceChangeListener(nullptr);
    EXPECT_FALSE(bus_->HasDeviceChangeListener());
    bus_->FailDeviceSet(true);
    EXPECT_FALSE(platform_->VisitHidInterfaces([](const IowKit2InterfaceEntry&) {}));
}

TEST_F(SimBusTest, ProbesAnswerWhatTheDescriptionSays) {
    InterfaceDescription good = Described(0x1512, 5, 5);
    InterfaceDescription noAttributes = Described(0x1512, 5, 5);
    noAttributes.attributesFail = true;
    InterfaceDescription noCaps = Described(0x1512, 5, 5);
    noCaps.caps.reset();
    InterfaceDescription closed = Described(0x1512, 5, 5);
    closed.probeFails = true;
    closed.pipeOpenFails = true;
    auto device = bus_->Plug({{good, noAttributes, noCaps, closed}});

    auto probe = platform_->OpenProbe(device->GetInterface(0).Path());
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->GetAttributes()->productId, 0x1512);
    EXPECT_EQ(probe->GetCaps()->outputReportLength, 5);
    EXPECT_FALSE(platform_->OpenProbe(device->GetInterface(1).Path())->GetAttributes());
    EXPECT_FALSE(platform_->OpenProbe(device->GetInterface(2).Path())->GetCaps());
    EXPECT_EQ(platform_->OpenProbe(device->GetInterface(3).Path()), nullptr);
    EXPECT_EQ(platform_->OpenReadPort(device->GetInterface(3).Path()), nullptr);
    EXPECT_EQ(platform_->OpenWritePort(device->GetInterface(3).Path()), nullptr);
}

TEST_F(SimBusTest, LoadAndHeapFailuresAndLeakCounting) {
    bus_->FailLoad(126);
    IowKit2SetLastError(0);
    EXPECT_EQ(platform_->Load(), 126u);
    EXPECT_EQ(IowKit2GetLastError(), 126u);
    EXPECT_FALSE(bus_->IsLoaded());
    bus_->FailLoad(0);
    EXPECT_EQ(platform_->Load(), 0u);
    EXPECT_TRUE(bus_->IsLoaded());

    bus_->FailHeapCreate(8);
    EXPECT_EQ(platform_->CreateHeap(4096), 8u);
    EXPECT_EQ(platform_->HeapAllocate(16), nullptr);  // no heap
    bus_->FailHeapCreate(0);
    ASSERT_EQ(platform_->CreateHeap(4096), 0u);
    void* kept = platform_->HeapAllocate(16);
    void* leaked = platform_->HeapAllocate(16);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(kept)[15], 0);  // zeroed
    bus_->FailAllocations(true);
    EXPECT_EQ(platform_->HeapAllocate(16), nullptr);
    platform_->HeapRelease(kept);
    EXPECT_EQ(bus_->Heap().liveBlocks, 1u);
    platform_->DestroyHeap();
    EXPECT_EQ(bus_->Heap().releasedByDestroy, 1u);
    (void)leaked;
}

TEST_F(SimBusTest, ReadHandlesBufferReportsAndDropTheOldest) {
    auto device = bus_->Plug({{Described(0x1500, 8, 8)}});
    Interface& pipe = device->GetInterface(0);
    auto port = platform_->OpenReadPort(pipe.Path());
    auto stop = platform_->CreateSignal();
    for (uint8_t i = 1; i <= 40; ++i) {
        const uint8_t report[] = {9, i, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x11};  // one too long
        pipe.SendInputReport(report, sizeof report);
    }
    EXPECT_EQ(pipe.Reads().buffered, 32u);  // the platform's default
    EXPECT_EQ(pipe.Reads().reportsDropped, 8u);
    EXPECT_FALSE(port->SetNumInputBuffers(1));
    EXPECT_FALSE(port->SetNumInputBuffers(513));
    EXPECT_TRUE(port->SetNumInputBuffers(128));

    uint8_t buffer[64] = {};
    port->BeginRead(buffer, 8);
    ASSERT_EQ(port->WaitForReadOrStop(*stop, 250), IowKit2WaitResult::kCompletion);
    uint32_t size = 0;
    ASSERT_TRUE(port->GetReadResult(size));
    EXPECT_EQ(size, 8u);
    const uint8_t oldestKept[] = {9, 9, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(0, memcmp(buffer, oldestKept, 8));
    EXPECT_EQ(buffer[8], 0);  // cut to the input report length

    const uint8_t shortReport[] = {9, 77};
    port->SetNumInputBuffers(2);  // trims to the newest two
    pipe.SendInputReport(shortReport, sizeof shortReport);
    port->BeginRead(buffer, 8);
    ASSERT_EQ(port->WaitForReadOrStop(*stop, 250), IowKit2WaitResult::kCompletion);
    ASSERT_TRUE(port->GetReadResult(size));
    EXPECT_EQ(buffer[1], 40);
    port->BeginRead(buffer, 8);
    ASSERT_EQ(port->WaitForReadOrStop(*stop, 250), IowKit2WaitResult::kCompletion);
    ASSERT_TRUE(port->GetReadResult(size));
    const uint8_t padded[] = {9, 77, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, memcmp(buffer, padded, 8));
}

TEST_F(SimBusTest, TimedWaitsEndOnlyWhenTheTestExpiresThem) {
    auto device = bus_->Plug({{Described(0x1500, 8, 8)}});
    Interface& pipe = device->GetInterface(0);
    auto port = platform_->OpenReadPort(pipe.Path());
    auto stop = platform_->CreateSignal();
    uint8_t buffer[64];
    port->BeginRead(buffer, 8);
    std::atomic<int> outcome{-1};
    std::thread reader([&] { outcome = static_cast<int>(port->WaitForReadOrStop(*stop, 250)); });
    ASSERT_TRUE(pipe.AwaitIdleReader());
    EXPECT_EQ(bus_->ExpireWaits(), 1u);
    reader.join();
    EXPECT_EQ(outcome.load(), static_cast<int>(IowKit2WaitResult::kTimeout));
    EXPECT_TRUE(pipe.Reads().readPending);  // the read stays pending

    reader = std::thread([&] { outcome = static_cast<int>(port->WaitForReadOrStop(*stop, 250)); });
    ASSERT_TRUE(pipe.AwaitIdleReader());
    stop->Raise();
    reader.join();
    EXPECT_EQ(outcome.load(), static_cast<int>(IowKit2WaitResult::kStopped));
    port->CancelPendingRead();
    EXPECT_EQ(pipe.Reads().readsCancelled, 1u);
    EXPECT_FALSE(pipe.Reads().readPending);
}

TEST_F(SimBusTest, StalledFailedAndUnpluggedReads) {
    auto device = bus_->Plug({{Described(0x1500, 8, 8)}});
    Interface& pipe = device->GetInterface(0);
    auto port = platform_->OpenReadPort(pipe.Path());
    auto stop = platform_->CreateSignal();
    uint8_t buffer[64];
    uint32_t size = 0;

    pipe.StallReads(true);
    const uint8_t report[] = {9, 1};
    pipe.SendInputReport(report, sizeof report);
    port->BeginRead(buffer, 8);
    std::thread expire([&] {
        bus_->Await([&] { return pipe.Reads().waiting; });
        bus_->ExpireWaits();
    });
    EXPECT_EQ(port->WaitForReadOrStop(*stop, 250), IowKit2WaitResult::kTimeout);
    expire.join();
    pipe.StallReads(false);
    EXPECT_EQ(port->WaitForReadOrStop(*stop, 250), IowKit2WaitResult::kCompletion);

    port->BeginRead(buffer, 8);
    pipe.FailPendingReads();
    EXPECT_EQ(port->WaitForReadOrStop(*stop, 250), IowKit2WaitResult::kCompletion);
    EXPECT_FALSE(port->GetReadResult(size));

    port->BeginRead(buffer, 8);
    device->Unplug();
    EXPECT_EQ(port->WaitForReadOrStop(*stop, 250), IowKit2WaitResult::kCompletion);
    EXPECT_FALSE(port->GetReadResult(size));
    // A read on a device that is gone never starts, so only time ends the wait.
    port->BeginRead(buffer, 8);
    EXPECT_FALSE(pipe.Reads().readPending);
    stop->Raise();
    EXPECT_EQ(port->WaitForReadOrStop(*stop, 250), IowKit2WaitResult::kStopped);
}

TEST_F(SimBusTest, WritesReachTheDeviceOrFailOrStall) {
    auto device = bus_->Plug({{Described(0x1500, 8, 8)}});
    Interface& pipe = device->GetInterface(0);
    std::vector<uint8_t> seen;
    pipe.SetOutputHandler(
        [&](const uint8_t* data, size_t size) { seen.assign(data, data + size); });
    auto port = platform_->OpenWritePort(pipe.Path());
    const uint8_t report[8] = {9, 4, 11, 2, 2};
    EXPECT_EQ(port->Write(report, 8, kInfiniteWait), 0u);
    EXPECT_EQ(seen, std::vector<uint8_t>(report, report + 8));
    EXPECT_EQ(port->Write(report, 7, kInfiniteWait), kErrorInvalidUserBuffer);

    pipe.FailWrites(true);
    EXPECT_EQ(port->Write(report, 8, kInfiniteWait), kIowKit2ErrorTimeout);
    pipe.FailWrites(false);

    // A stalled write that runs out of time is cancelled before Write returns.
    pipe.StallWrites(true);
    std::thread expire([&] {
        pipe.AwaitStalledWrite();
        bus_->ExpireWaits();
    });
    EXPECT_EQ(port->Write(report, 8, 1000), kIowKit2ErrorTimeout);
    expire.join();
    EXPECT_EQ(pipe.Writes().writesCancelled, 1u);
    EXPECT_EQ(pipe.Writes().stalled, 0u);
    pipe.ReleaseStalledWrites();  // nothing left to release

    std::thread release([&] {
        pipe.AwaitStalledWrite();
        pipe.ReleaseStalledWrites();
    });
    seen.clear();
    EXPECT_EQ(port->Write(report, 8, kInfiniteWait), 0u);
    release.join();
    EXPECT_EQ(seen.size(), 8u);

    std::thread unplug([&] {
        pipe.AwaitStalledWrite();
        device->Unplug();
    });
    EXPECT_EQ(port->Write(report, 8, kInfiniteWait), kIowKit2ErrorTimeout);
    unplug.join();
    EXPECT_EQ(port->Write(report, 8, kInfiniteWait), kErrorDeviceNotConnected);
    EXPECT_EQ(pipe.Writes().writesSucceeded, 2u);
}

TEST(SimBusRealClock, TimedWaitsPassOnTheirOwn) {
    auto bus = Bus::Make(Clock::kReal);
    auto platform = bus->MakePlatform();
    auto device = bus->Plug({{Described(0x1500, 8, 8)}});
    auto port = platform->OpenReadPort(device->GetInterface(0).Path());
    auto stop = platform->CreateSignal();
    uint8_t buffer[64];
    port->BeginRead(buffer, 8);
    EXPECT_EQ(port->WaitForReadOrStop(*stop, 1), IowKit2WaitResult::kTimeout);
}

}  // namespace
}  // namespace hidsim
