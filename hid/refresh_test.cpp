#include <gtest/gtest.h>

#include "hid/layer_state.h"
#include "hid/layer_test_fixture.h"

namespace {

using Events = std::vector<DeviceEvent>;

class RefreshTest : public LayerTest {
  protected:
    // Only the owner's dispatch makes a refresh run.
    void Refresh() {
        loop_->PostDeviceChange();
        Dispatch();
    }

    size_t OpenRecords() const {
        size_t count = 0;
        for (IowKit2Device* record = IowKit2Layer().openList.Head(); record;
             record = record->next.get()) {
            ++count;
        }
        return count;
    }
};

TEST_F(RefreshTest, TheFirstScanRunsOnlyWhenTheOwnerDispatches) {
    bus_->Plug(IowDevice(0x03EB));
    ASSERT_EQ(Start(), 0u);
    EXPECT_EQ(IowKit2GetLastError(), 0u);
    IowKit2AnnounceUnclaimed();
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(loop_->PendingDeviceChanges(), 1u);
    Dispatch();
    ASSERT_EQ(Arrivals().size(), 1u);
    EXPECT_EQ(IowKit2GetProductId(Arrivals()[0]), 0x03EB);
    // Nothing changed: a refresh announces nothing new.
    Refresh();
    EXPECT_EQ(events_.size(), 1u);
    EXPECT_EQ(OpenRecords(), 1u);
}

TEST_F(RefreshTest, DevicesFoundTogetherAreAnnouncedNewestFirst) {
    bus_->Plug(IowDevice(0x03EB, u"00000001"));
    bus_->Plug(IowDevice(0x03EB, u"00000002"));
    ASSERT_EQ(Start(), 0u);
    Dispatch();
    ASSERT_EQ(Arrivals().size(), 2u);
    EXPECT_EQ(IowKit2GetSerialNumber(Arrivals()[0]), 2u);
    EXPECT_EQ(IowKit2GetSerialNumber(Arrivals()[1]), 1u);
}

TEST_F(RefreshTest, AnUnclaimedDeviceThatGoesIsAnnouncedOnceAndReleased) {
    auto device = bus_->Plug(IowDevice(0x03EB));
    ASSERT_EQ(Start(), 0u);
    Dispatch();
    IowKit2Handle handle = Arrivals().at(0);
    device->Unplug();
    Dispatch();
    EXPECT_EQ(events_, (Events{{0, handle}, {1, handle}}));
    EXPECT_EQ(OpenRecords(), 0u);
    EXPECT_EQ(IowKit2GetProductId(handle), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    Refresh();
    EXPECT_EQ(events_.size(), 2u);
    EXPECT_EQ(bus_->Heap().liveBlocks, 0u);
}

TEST_F(RefreshTest, AClaimedDeviceIsAnnouncedAsRemovedAtEveryRefreshUntilReleased) {
    auto device = bus_->Plug(IowDevice(0x03EB));
    ASSERT_EQ(Start(), 0u);
    Dispatch();
    IowKit2Handle handle = Arrivals().at(0);
    ASSERT_EQ(IowKit2SetClaimed(handle, 1), 1);
    device->Unplug();
    Dispatch();
    Refresh();
    Refresh();
    EXPECT_EQ(Removals(), (std::vector<IowKit2Handle>{handle, handle, handle}));
    EXPECT_EQ(IowKit2GetProductId(handle), 0x03EB);
    EXPECT_EQ(IowKit2GetLastError(), 0u);
    EXPECT_EQ(IowKit2GetSerialNumber(handle), 0xABCDu);

    // Released outside a callback: the next refresh lets it go silently.
    ASSERT_EQ(IowKit2SetClaimed(handle, 0), 1);
    Refresh();
    EXPECT_EQ(Removals().size(), 4u);  // seen once more, then released
    EXPECT_EQ(OpenRecords(), 0u);
    Refresh();
    EXPECT_EQ(Removals().size(), 4u);
}

TEST_F(RefreshTest, ClearingTheClaimInTheRemovalCallbackReleasesAtOnce) {
    auto device = bus_->Plug(IowDevice(0x03EB));
    ASSERT_EQ(Start(), 0u);
    Dispatch();
    IowKit2Handle handle = Arrivals().at(0);
    ASSERT_EQ(IowKit2SetClaimed(handle, 1), 1);
    onDevice_ = [&](int event, IowKit2Handle removed) {
        if (event == kIowKit2Removal) {
            // The record still answers inside the callback.
            EXPECT_EQ(IowKit2GetProductId(removed), 0x03EB);
            EXPECT_EQ(IowKit2SetClaimed(removed, 0), 1);
        }
    };
    device->Unplug();
    Dispatch();
    EXPECT_EQ(Removals(), std::vector<IowKit2Handle>{handle});
    EXPECT_EQ(OpenRecords(), 0u);
    Refresh();
    EXPECT_EQ(Removals().size(), 1u);
}

TEST_F(RefreshTest, AClaimClearedAfterItsRemovalCallbackIsReleasedInTheSameRefresh) {
    auto device = bus_->Plug(IowDevice(0x03EB));
    auto other = bus_->Plug(IowDevice(0x1500, u"00000002"));
    ASSERT_EQ(Start(), 0u);
    Dispatch();
    ASSERT_EQ(Arrivals().size(), 2u);
    IowKit2Handle first = Arrivals()[1];
    IowKit2Handle second = Arrivals()[0];
    ASSERT_EQ(IowKit2GetProductId(first), 0x03EB);
    ASSERT_EQ(IowKit2SetClaimed(first, 1), 1);
    ASSERT_EQ(IowKit2SetClaimed(second, 1), 1);
    // The removal of one releases the other's claim.
    onDevice_ = [&](int event, IowKit2Handle removed) {
        if (event == kIowKit2Removal && removed == second) {
            IowKit2SetClaimed(first, 0);
        }
    };
    device->Unplug();
    other->Unplug();
    Dispatch();
    EXPECT_EQ(OpenRecords(), 1u);  // second, still claimed
    EXPECT_EQ(IowKit2Layer().openList.Head(), second);
}

TEST_F(RefreshTest, UnplugAndReplugGivesANewRecord) {
    auto device = bus_->Plug(IowDevice(0x03EB));
    ASSERT_EQ(Start(), 0u);
    Dispatch();
    IowKit2Handle old = Arrivals().at(0);
    device->Unplug();
    Dispatch();
    auto again = bus_->Plug(IowDevice(0x03EB));
    Dispatch();
    ASSERT_EQ(events_.size(), 3u);
    EXPECT_EQ(events_[1], (DeviceEvent{1, old}));
    EXPECT_EQ(events_[2].event, 0);
    EXPECT_EQ(IowKit2Layer().openList.Head(), events_[2].device);
    EXPECT_EQ(IowKit2Layer().openList.Head()->pipes[0].interfaceNode,
              again->GetInterface(0).Node());
    EXPECT_EQ(OpenRecords(), 1u);
}

TEST_F(RefreshTest, ASecondStartClosesSilentlyAndAnnouncesAfresh) {
    bus_->Plug(IowDevice(0x03EB));
    ASSERT_EQ(Start(), 0u);
    Dispatch();
    IowKit2Handle first = Arrivals().at(0);
    ASSERT_EQ(IowKit2SetClaimed(first, 1), 1);
    ASSERT_EQ(Start(), 0u);
    EXPECT_EQ(events_.size(), 1u);  // no removal callback
    EXPECT_EQ(IowKit2GetProductId(first), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    Dispatch();
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].event, 0);
    EXPECT_EQ(IowKit2GetProductId(events_[1].device), 0x03EB);
}

TEST_F(RefreshTest, AnnounceUnclaimedOffersOpenUnclaimedDevicesEvenFromACallback) {
    bus_->Plug(IowDevice(0x03EB, u"00000001"));
    bus_->Plug(IowDevice(0x03EB, u"00000002"));
    ASSERT_EQ(Start(), 0u);
    Dispatch();
    ASSERT_EQ(Arrivals().size(), 2u);
    ASSERT_EQ(IowKit2SetClaimed(Arrivals()[0], 1), 1);
    events_.clear();
    IowKit2AnnounceUnclaimed();
    ASSERT_EQ(Arrivals().size(), 1u);
    EXPECT_EQ(IowKit2GetSerialNumber(Arrivals()[0]), 1u);

    // From inside a device callback the list lock is taken again.
    auto device = bus_->Plug(IowDevice(0x1511, u"00000003"));
    events_.clear();
    bool announced = false;
    onDevice_ = [&](int event, IowKit2Handle) {
        if (event == kIowKit2Arrival && !announced) {
            announced = true;
            IowKit2AnnounceUnclaimed();
        }
    };
    Dispatch();
    // The new device, then the open unclaimed one (the new one is still in
    // the found list, so not offered again).
    ASSERT_EQ(Arrivals().size(), 2u);
    EXPECT_EQ(IowKit2GetSerialNumber(Arrivals()[0]), 3u);
    EXPECT_EQ(IowKit2GetSerialNumber(Arrivals()[1]), 1u);
}

TEST_F(RefreshTest, AnAnnouncementSurvivesCallbacksThatReleaseRecords) {
    auto first = bus_->Plug(IowDevice(0x03EB, u"00000001"));
    auto second = bus_->Plug(IowDevice(0x03EB, u"00000002"));
    bus_->Plug(IowDevice(0x03EB, u"00000003"));
    ASSERT_EQ(Start(), 0u);
    Dispatch();
    ASSERT_EQ(Arrivals().size(), 3u);
    const IowKit2Handle h1 = Arrivals()[2];
    const IowKit2Handle h2 = Arrivals()[1];
    const IowKit2Handle h3 = Arrivals()[0];
    ASSERT_EQ(IowKit2GetSerialNumber(h1), 1u);

    // The first offer's device goes, with the next one, and the callback
    // dispatches (as a message box would): the refresh inside releases both,
    // and the one not offered yet is never offered.
    events_.clear();
    onDevice_ = [&](int event, IowKit2Handle device) {
        if (event == kIowKit2Arrival && device == h1) {
            first->Unplug();
            second->Unplug();
            Dispatch();
        }
    };
    IowKit2AnnounceUnclaimed();
    EXPECT_EQ(events_, (Events{{0, h1}, {1, h1}, {1, h2}, {0, h3}}));
    EXPECT_EQ(OpenRecords(), 1u);

    // A restart asked for inside the announcement is refused, and the
    // announcement offers nothing more.
    bus_->Plug(IowDevice(0x03EB, u"00000004"));
    Dispatch();
    ASSERT_EQ(OpenRecords(), 2u);
    events_.clear();
    onDevice_ = [&](int, IowKit2Handle) {
        EXPECT_EQ(IowKit2RegisterDeviceCallback(nullptr, nullptr), 170u);
    };
    IowKit2AnnounceUnclaimed();
    EXPECT_EQ(events_.size(), 1u);
    EXPECT_EQ(IowKit2GetProductId(h3), 0x03EB);

    // A shutdown asked for inside it runs once the announcement is over.
    events_.clear();
    onDevice_ = [&](int, IowKit2Handle) {
        IowKit2Shutdown();
        EXPECT_TRUE(bus_->IsLoaded());
    };
    IowKit2AnnounceUnclaimed();
    EXPECT_EQ(events_.size(), 1u);
    EXPECT_FALSE(bus_->IsLoaded());
    EXPECT_FALSE(loop_->IsCreated());
    EXPECT_EQ(bus_->Heap().liveBlocks, 0u);
}

TEST_F(RefreshTest, AQuickReplugUnderTheSameNodeIsARemovalAndAnArrival) {
    auto device = bus_->Plug(IowDevice(0x03EB));
    ASSERT_EQ(Start(), 0u);
    Dispatch();
    const IowKit2Handle old = Arrivals().at(0);
    ASSERT_EQ(IowKit2SetClaimed(old, 1), 1);
    onDevice_ = [](int event, IowKit2Handle gone) {
        if (event == kIowKit2Removal) {
            IowKit2SetClaimed(gone, 0);
        }
    };
    // Unplugged and plugged in again before the owner dispatches, and given
    // the same nodes back: the open handles are on the device that went.
    device->Unplug();
    auto again = device->PlugAgain();
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(again->GetInterface(0).Node(), device->GetInterface(0).Node());
    Dispatch();
    ASSERT_EQ(events_.size(), 3u);
    EXPECT_EQ(events_[1], (DeviceEvent{1, old}));
    EXPECT_EQ(events_[2].event, 0);
    const IowKit2Handle fresh = events_[2].device;
    EXPECT_NE(fresh, old);
    EXPECT_EQ(OpenRecords(), 1u);

    // The new record reaches the device that came back.
    ASSERT_EQ(IowKit2SetClaimed(fresh, 1), 1);
    const uint8_t query[64] = {9, 4, 2};
    EXPECT_EQ(IowKit2Write(fresh, 1, query), 8);
    EXPECT_EQ(again->GetInterface(1).Writes().writesSucceeded, 1u);
    Refresh();
    EXPECT_EQ(events_.size(), 3u);
}

TEST_F(RefreshTest, AChangeSeenDuringARefreshRunsOneMoreAfterIt) {
    auto first = bus_->Plug(IowDevice(0x03EB, u"00000001"));
    ASSERT_EQ(Start(), 0u);
    std::shared_ptr<hidsim::Device> second;
    onDevice_ = [&](int event, IowKit2Handle) {
        if (event == kIowKit2Arrival && !second) {
            // A change while the refresh runs, and a nested dispatch (as a
            // message box would do): no nested refresh runs inside it.
            second = bus_->Plug(IowDevice(0x03EB, u"00000002"));
            first->Unplug();
            Dispatch();
        }
    };
    Dispatch();
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(OpenRecords(), 1u);
    EXPECT_TRUE(IowKit2Layer().foundList.IsEmpty());
    // The change is not lost: one more refresh follows at the next dispatch.
    Dispatch();
    ASSERT_EQ(events_.size(), 3u);
    EXPECT_EQ(events_[1].event, 1);
    EXPECT_EQ(events_[2].event, 0);
    EXPECT_EQ(IowKit2GetSerialNumber(events_[2].device), 2u);
    EXPECT_EQ(OpenRecords(), 1u);
}

TEST_F(RefreshTest, AShutdownInsideADeviceCallbackWaitsForTheRefreshToEnd) {
    bus_->Plug(IowDevice(0x03EB, u"00000001"));
    bus_->Plug(IowDevice(0x03EB, u"00000002"));
    ASSERT_EQ(Start(), 0u);
    onDevice_ = [&](int, IowKit2Handle) {
        // A new start cannot replace the layer under the running refresh.
        EXPECT_EQ(IowKit2RegisterDeviceCallback(nullptr, nullptr), 170u);
        IowKit2Shutdown();
        EXPECT_EQ(IowKit2GetLastError(), 0u);
    };
    Dispatch();
    // The refresh went on to its end, but the second switch was not offered
    // to a program that had asked to shut down.
    EXPECT_EQ(Arrivals().size(), 1u);
    EXPECT_FALSE(bus_->IsLoaded());
    EXPECT_FALSE(loop_->IsCreated());
    EXPECT_EQ(bus_->Heap().liveBlocks, 0u);
}

TEST_F(RefreshTest, DevicesThatCannotBeOpenedOrAnnouncedAreNotKept) {
    hidsim::DeviceDescription unopenable = IowDevice(0x03EB);
    unopenable.interfaces[1].pipeOpenFails = true;
    auto device = bus_->Plug(unopenable);
    ASSERT_EQ(Start(), 0u);
    Dispatch();
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(OpenRecords(), 0u);
    EXPECT_EQ(device->GetInterface(0).Reads().openPorts, 0u);

    // Signals that cannot be made: no reader, no device.
    bus_->FailSignals(true);
    auto noSignals = bus_->Plug(IowDevice(0x03EB));
    Dispatch();
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(OpenRecords(), 0u);
    bus_->FailSignals(false);

    // Without a device callback nothing is kept.
    ASSERT_EQ(IowKit2RegisterDeviceCallback(nullptr, nullptr), 0u);
    Dispatch();
    EXPECT_EQ(OpenRecords(), 0u);
    EXPECT_EQ(noSignals->GetInterface(1).Reads().openPorts, 0u);
}

TEST_F(RefreshTest, AFailedStartReturnsTheCodeAndLeavesNothingStarted) {
    bus_->Plug(IowDevice(0x03EB));
    bus_->FailLoad(126);
    EXPECT_EQ(Start(), 126u);
    EXPECT_EQ(IowKit2GetLastError(), 126u);
    EXPECT_FALSE(loop_->IsCreated());
    EXPECT_FALSE(bus_->IsLoaded());
    EXPECT_FALSE(bus_->Heap().exists);
    EXPECT_FALSE(bus_->HasDeviceChangeListener());
    IowKit2AnnounceUnclaimed();
    Dispatch();
    EXPECT_TRUE(events_.empty());
    bus_->FailLoad(0);

    bus_->FailHeapCreate(8);
    EXPECT_EQ(Start(), 8u);
    EXPECT_EQ(IowKit2GetLastError(), 8u);
    EXPECT_FALSE(loop_->IsCreated());
    EXPECT_FALSE(bus_->IsLoaded());
    bus_->FailHeapCreate(0);

    loop_->FailNextCreate(1400);
    EXPECT_EQ(Start(), 1400u);
    EXPECT_EQ(IowKit2GetLastError(), 1400u);
    EXPECT_FALSE(bus_->IsLoaded());

    // And a start after failures works.
    EXPECT_EQ(Start(), 0u);
    Dispatch();
    EXPECT_EQ(Arrivals().size(), 1u);
}

}  // namespace
