#include "hid/enumerate.h"

#include <gtest/gtest.h>

#include <cstring>

#include "hid/layer_state.h"
#include "hid/layer_test_fixture.h"

namespace {

hidsim::InterfaceDescription Interface(uint16_t productId, uint16_t inputLength,
                                       uint16_t outputLength) {
    hidsim::InterfaceDescription description;
    description.attributes = {0x1214, productId, 0x2010};
    description.caps = IowKit2HidCaps{inputLength, outputLength};
    return description;
}

// Enumerates into the layer's found list on a started layer (no dispatch, so
// no refresh runs and no reader starts).
class EnumerateTest : public LayerTest {
  protected:
    void SetUp() override {
        LayerTest::SetUp();
        ASSERT_EQ(Start(), 0u);
    }

    int Enumerate() { return IowKit2Enumerate(IowKit2Layer().foundList); }
    IowKit2Device* Head() { return IowKit2Layer().foundList.Head(); }

    // Nothing but the kept records may hold heap blocks.
    void ExpectNothingKept() {
        EXPECT_EQ(Enumerate(), 0);
        EXPECT_EQ(Head(), nullptr);
        EXPECT_EQ(bus_->Heap().liveBlocks, 0u);
    }
};

TEST_F(EnumerateTest, GroupsTwoInterfacesOfOneDeviceByOutputReportLength) {
    auto device = bus_->Plug({{Interface(0x1512, 8, 8), Interface(0x1512, 7, 7)}});
    ASSERT_EQ(Enumerate(), 1);
    IowKit2Device* record = Head();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->next, nullptr);
    EXPECT_EQ(record->stateMark, 0x494F5761u);
    EXPECT_EQ(record->claimed, 0);
    EXPECT_EQ(record->writeTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(record->interfaceCount, 2);
    EXPECT_EQ(record->deviceKey, device->Node());
    // Length 7 lands in pipe 0, length 8 in pipe 1, whatever the order.
    EXPECT_EQ(record->pipes[0].interfaceNode, device->GetInterface(1).Node());
    EXPECT_STREQ(record->pipes[0].devicePath.get(), device->GetInterface(1).Path().c_str());
    EXPECT_EQ(record->pipes[0].hidCaps.outputReportLength, 7);
    EXPECT_EQ(record->pipes[1].interfaceNode, device->GetInterface(0).Node());
    EXPECT_EQ(record->pipes[1].hidCaps.inputReportLength, 8);
    EXPECT_EQ(record->pipes[1].hidAttr.productId, 0x1512);
    EXPECT_EQ(record->pipes[0].hidAttr.versionNumber, 0x2010);
    EXPECT_FALSE(record->pipes[0].readPort);  // probes only: nothing opened
}

TEST_F(EnumerateTest, MatchesVendor1214AndFourProductIds) {
    for (uint16_t productId : {0x1500, 0x03EB, 0x1511, 0x1512}) {
        bus_->Plug(IowDevice(productId));
    }
    bus_->Plug(IowDevice(0x1501));
    hidsim::DeviceDescription otherVendor = IowDevice(0x03EB);
    for (auto& interface : otherVendor.interfaces) {
        interface.attributes.vendorId = 0x1215;
    }
    bus_->Plug(otherVendor);
    EXPECT_EQ(Enumerate(), 4);
    int products = 0;
    for (IowKit2Device* record = Head(); record; record = record->next.get()) {
        products += IowKit2GetProductId(record);
    }
    EXPECT_EQ(products, 0x1500 + 0x03EB + 0x1511 + 0x1512);
}

TEST_F(EnumerateTest, IdenticalDevicesGetARecordEachNewestFirst) {
    auto first = bus_->Plug(IowDevice(0x03EB));
    auto second = bus_->Plug(IowDevice(0x03EB));
    ASSERT_EQ(Enumerate(), 2);
    EXPECT_EQ(Head()->deviceKey, second->Node());
    EXPECT_EQ(Head()->next->deviceKey, first->Node());
    // Enumerating again starts from an empty list.
    EXPECT_EQ(Enumerate(), 2);
}

TEST_F(EnumerateTest, KeepsOnlyDevicesWithExactlyTwoInterfacesOnePerPipe) {
    bus_->Plug({{Interface(0x03EB, 8, 8)}});
    ExpectNothingKept();
    bus_->Plug({{Interface(0x03EB, 5, 5), Interface(0x03EB, 8, 8), Interface(0x03EB, 8, 8)}});
    ExpectNothingKept();
    // Both in one pipe class: the second interface finds its slot taken.
    bus_->Plug({{Interface(0x03EB, 8, 8), Interface(0x03EB, 8, 8)}});
    bus_->Plug({{Interface(0x03EB, 5, 5), Interface(0x03EB, 5, 5)}});
    ExpectNothingKept();
}

TEST_F(EnumerateTest, SkipsInterfacesItCannotHandle) {
    // Reports longer than 64 bytes, in or out, or unknown caps: such an
    // interface is never used, and its device is not kept.
    bus_->Plug({{Interface(0x03EB, 5, 5), Interface(0x03EB, 65, 8)}});
    bus_->Plug({{Interface(0x03EB, 5, 5), Interface(0x03EB, 8, 65)}});
    hidsim::InterfaceDescription noCaps = Interface(0x03EB, 8, 8);
    noCaps.caps.reset();
    bus_->Plug({{Interface(0x03EB, 5, 5), noCaps}});
    // An unusable third interface does not make the other two a device.
    bus_->Plug({{Interface(0x03EB, 5, 5), Interface(0x03EB, 8, 8), Interface(0x03EB, 8, 200)}});
    ExpectNothingKept();

    hidsim::InterfaceDescription noProbe = Interface(0x03EB, 8, 8);
    noProbe.probeFails = true;
    hidsim::InterfaceDescription noAttributes = Interface(0x03EB, 8, 8);
    noAttributes.attributesFail = true;
    hidsim::InterfaceDescription noDetail = Interface(0x03EB, 8, 8);
    noDetail.detailFails = true;
    bus_->Plug({{Interface(0x03EB, 5, 5), noProbe}});
    bus_->Plug({{Interface(0x03EB, 5, 5), noAttributes}});
    bus_->Plug({{Interface(0x03EB, 5, 5), noDetail}});
    ExpectNothingKept();

    // The largest reports the layer handles are fine.
    bus_->Plug({{Interface(0x03EB, 64, 7), Interface(0x03EB, 64, 64)}});
    EXPECT_EQ(Enumerate(), 1);
}

TEST_F(EnumerateTest, NoDeviceSetOrNoHeapMeansNothingFound) {
    bus_->Plug(IowDevice(0x03EB));
    bus_->FailDeviceSet(true);
    ExpectNothingKept();
    bus_->FailDeviceSet(false);
    bus_->FailAllocations(true);
    ExpectNothingKept();
    bus_->FailAllocations(false);
    EXPECT_EQ(Enumerate(), 1);
}

TEST_F(EnumerateTest, SerialNumbersAndTheQueries) {
    bus_->Plug(IowDevice(0x03EB, u"1A2B3C4D"));
    ASSERT_EQ(Enumerate(), 1);
    IowKit2Handle device = Head();
    IowKit2SetLastError(5);
    EXPECT_EQ(IowKit2GetSerialNumber(device), 0x1A2B3C4Du);
    EXPECT_EQ(IowKit2GetLastError(), 0u);
    EXPECT_EQ(IowKit2GetRevision(device), 0x1012);
    EXPECT_EQ(IowKit2GetProductId(device), 0x03EB);

    hidsim::DeviceDescription noSerial = IowDevice(0x1500, u"");
    bus_->Plug(noSerial);
    hidsim::DeviceDescription languageListAsSerial = IowDevice(0x1511, u"\u0409");
    bus_->Plug(languageListAsSerial);
    ASSERT_EQ(Enumerate(), 3);
    for (IowKit2Device* record = Head(); record; record = record->next.get()) {
        if (IowKit2GetProductId(record) != 0x03EB) {
            IowKit2SetLastError(5);
            EXPECT_EQ(IowKit2GetSerialNumber(record), 0u);
            EXPECT_EQ(IowKit2GetLastError(), 0u);
        }
    }
}

TEST_F(EnumerateTest, HandlesOutsideTheListsAreRefused) {
    bus_->Plug(IowDevice(0x03EB));
    ASSERT_EQ(Enumerate(), 1);
    IowKit2Device* record = Head();

    // A record-sized block that was never given out, even with a live mark.
    IowKit2Device stranger;
    stranger.stateMark = 0x494F5761;
    for (IowKit2Handle handle : {static_cast<IowKit2Handle>(nullptr), &stranger}) {
        IowKit2SetLastError(0);
        EXPECT_EQ(IowKit2GetProductId(handle), 0);
        EXPECT_EQ(IowKit2GetLastError(), 87u);
        EXPECT_EQ(IowKit2GetRevision(handle), 0);
        EXPECT_EQ(IowKit2GetSerialNumber(handle), 0u);
        EXPECT_EQ(IowKit2SetClaimed(handle, 1), 0);
        EXPECT_EQ(IowKit2GetLastError(), 87u);
    }

    // A record whose mark is neither live nor closed is no record.
    record->stateMark = 0x12345678;
    EXPECT_EQ(IowKit2GetProductId(record), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    record->stateMark = 0xF00FBEEF;
    EXPECT_EQ(IowKit2GetProductId(record), 0x03EB);
    EXPECT_EQ(IowKit2GetLastError(), 0u);
    record->stateMark = 0x494F5761;

    EXPECT_EQ(IowKit2SetClaimed(record, 5), 1);
    EXPECT_EQ(IowKit2GetLastError(), 0u);
    EXPECT_EQ(record->claimed, 5);
}

}  // namespace
