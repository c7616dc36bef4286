#include "hid/testing/iowkit2_double.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

using Operation = IowKit2Double::Operation;
using Bytes = std::vector<uint8_t>;

// A 64-byte buffer holding 1, 2, 3, ...: shows how much of it was sent.
std::array<uint8_t, 64> Counting() {
    std::array<uint8_t, 64> buffer{};
    for (size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<uint8_t>(i + 1);
    }
    return buffer;
}

struct DeviceEvent {
    int event;
    IowKit2Handle device;
    void* context;
    bool operator==(const DeviceEvent&) const = default;
};

std::vector<DeviceEvent> deviceEvents;

void RecordDeviceEvent(int event, IowKit2Handle device, void* context) {
    deviceEvents.push_back({event, device, context});
}

struct Received {
    IowKit2Handle device;
    unsigned pipe;
    Bytes report;  // all 64 bytes of the buffer
    unsigned length;
    void* context;
};

std::vector<Received> received;
int readResult = 1;

int RecordReport(IowKit2Handle device, unsigned pipe, const uint8_t* report, unsigned length,
                 void* context) {
    received.push_back({device, pipe, Bytes(report, report + 64), length, context});
    return readResult;
}

class IowKit2DoubleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        deviceEvents.clear();
        received.clear();
        readResult = 1;
    }

    IowKit2Double hid;
    std::array<uint8_t, 64> buffer = Counting();
};

TEST_F(IowKit2DoubleTest, NullAndUnknownHandlesFailWithInvalidParameter) {
    int notADevice = 0;
    for (IowKit2Handle device :
         {IowKit2Handle{nullptr}, reinterpret_cast<IowKit2Handle>(&notADevice)}) {
        IowKit2SetLastError(0);
        EXPECT_EQ(IowKit2GetProductId(device), 0);
        EXPECT_EQ(IowKit2GetLastError(), 87u);
        IowKit2SetLastError(0);
        EXPECT_EQ(IowKit2GetRevision(device), 0);
        EXPECT_EQ(IowKit2GetLastError(), 87u);
        IowKit2SetLastError(0);
        EXPECT_EQ(IowKit2GetSerialNumber(device), 0u);
        EXPECT_EQ(IowKit2GetLastError(), 87u);
        IowKit2SetLastError(0);
        EXPECT_EQ(IowKit2SetClaimed(device, 1), 0);
        EXPECT_EQ(IowKit2GetLastError(), 87u);
        IowKit2SetLastError(0);
        EXPECT_EQ(IowKit2SetReadCallback(device, 1, RecordReport, nullptr), 0);
        EXPECT_EQ(IowKit2GetLastError(), 87u);
        IowKit2SetLastError(0);
        EXPECT_EQ(IowKit2Write(device, 1, buffer.data()), 0);
        EXPECT_EQ(IowKit2GetLastError(), 87u);
    }
    EXPECT_TRUE(hid.Writes().empty());
}

TEST(IowKit2DoubleAbsent, OperationsFailWithoutAnInstalledDouble) {
    ASSERT_EQ(IowKit2Double::Active(), nullptr);
    std::array<uint8_t, 64> report{8, 1, 3};
    IowKit2SetLastError(0);
    EXPECT_EQ(IowKit2Write(nullptr, 1, report.data()), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    IowKit2SetLastError(0);
    EXPECT_EQ(IowKit2GetSerialNumber(nullptr), 0u);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_EQ(IowKit2RegisterDeviceCallback(RecordDeviceEvent, nullptr), 87u);
    IowKit2SetLastError(87);
    IowKit2AnnounceUnclaimed();
    EXPECT_EQ(IowKit2GetLastError(), 0u);
}

TEST_F(IowKit2DoubleTest, PropertiesOfAValidHandle) {
    IowKit2Handle device =
        hid.AddDevice({.productId = 0x1500, .revision = 0x1021, .serialNumber = 0x0000ABCD});
    IowKit2SetLastError(87);
    EXPECT_EQ(IowKit2GetProductId(device), 0x1500);
    EXPECT_EQ(IowKit2GetLastError(), 0u);
    EXPECT_EQ(IowKit2GetRevision(device), 0x1021);
    EXPECT_EQ(IowKit2GetSerialNumber(device), 0xABCDu);
}

TEST_F(IowKit2DoubleTest, WritesNeedAClaimAndSendTheOutputReportLength) {
    IowKit2Handle device = hid.AddDevice();

    IowKit2SetLastError(0);
    EXPECT_EQ(IowKit2Write(device, 1, buffer.data()), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_TRUE(hid.Writes().empty());

    EXPECT_EQ(IowKit2SetClaimed(device, 1), 1);
    EXPECT_TRUE(hid.IsClaimed(device));
    IowKit2SetLastError(87);
    EXPECT_EQ(IowKit2Write(device, 1, buffer.data()), 8);
    EXPECT_EQ(IowKit2GetLastError(), 0u);
    EXPECT_EQ(IowKit2Write(device, 0, buffer.data()), 5);

    // Pipe 2 and a missing buffer are invalid parameters.
    EXPECT_EQ(IowKit2Write(device, 2, buffer.data()), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_EQ(IowKit2Write(device, 1, nullptr), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);

    ASSERT_EQ(hid.Writes().size(), 2u);
    EXPECT_EQ(hid.Writes()[0].device, device);
    EXPECT_EQ(hid.Writes()[0].pipe, 1u);
    EXPECT_EQ(hid.Writes()[0].bytes, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(hid.Writes()[1].pipe, 0u);
    EXPECT_EQ(hid.Writes()[1].bytes, (Bytes{1, 2, 3, 4, 5}));

    // Clearing the claim stops writes again.
    EXPECT_EQ(IowKit2SetClaimed(device, 0), 1);
    EXPECT_EQ(IowKit2Write(device, 1, buffer.data()), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);

    // A longer special-mode report is sent whole.
    IowKit2Handle wide = hid.AddDevice({.outputReportLength = {5, 16}});
    IowKit2SetClaimed(wide, 1);
    EXPECT_EQ(IowKit2Write(wide, 1, buffer.data()), 16);
    EXPECT_EQ(hid.WrittenBytes(wide),
              (std::vector<Bytes>{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}}));
}

TEST_F(IowKit2DoubleTest, ScriptedFailuresHitTheNextCallsOfTheirOperation) {
    IowKit2Handle device = hid.AddDevice({.productId = 0x03EB});
    IowKit2SetClaimed(device, 1);

    hid.FailNext(Operation::Write);
    hid.FailNext(Operation::Write, 87);
    EXPECT_EQ(IowKit2Write(device, 1, buffer.data()), 0);
    EXPECT_EQ(IowKit2GetLastError(), 1460u);
    EXPECT_EQ(IowKit2Write(device, 1, buffer.data()), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_EQ(IowKit2Write(device, 1, buffer.data()), 8);
    EXPECT_EQ(hid.Writes().size(), 1u);  // failed writes reached no device
    EXPECT_EQ(hid.Calls().size(), 4u);   // SetClaimed and the three writes

    hid.FailNext(Operation::GetProductId, 87, 2);
    EXPECT_EQ(IowKit2GetProductId(device), 0);
    EXPECT_EQ(IowKit2GetProductId(device), 0);
    EXPECT_EQ(IowKit2GetProductId(device), 0x03EB);

    hid.FailNext(Operation::SetClaimed, 87);
    EXPECT_EQ(IowKit2SetClaimed(device, 0), 0);
    EXPECT_TRUE(hid.IsClaimed(device));

    hid.FailNext(Operation::RegisterDeviceCallback, 1400);
    EXPECT_EQ(IowKit2RegisterDeviceCallback(RecordDeviceEvent, nullptr), 1400u);
    EXPECT_EQ(IowKit2GetLastError(), 1400u);
    EXPECT_FALSE(hid.Started());
}

TEST_F(IowKit2DoubleTest, ReportsReachTheInstalledReadCallback) {
    int context = 0;
    IowKit2Handle device = hid.AddDevice();

    EXPECT_EQ(IowKit2SetReadCallback(device, 1, RecordReport, &context), 0);  // unclaimed
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    IowKit2SetClaimed(device, 1);
    EXPECT_EQ(IowKit2SetReadCallback(device, 2, RecordReport, &context), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_EQ(IowKit2SetReadCallback(device, 1, RecordReport, &context), 1);
    EXPECT_EQ(hid.ReadCallback(device, 1), &RecordReport);
    EXPECT_EQ(hid.ReadCallbackContext(device, 1), &context);

    EXPECT_EQ(hid.DeliverReport(device, 1, {9, 0, 2, 0, 3, 1}), std::optional<int>(1));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].device, device);
    EXPECT_EQ(received[0].pipe, 1u);
    EXPECT_EQ(received[0].length, 8u);
    EXPECT_EQ(received[0].context, &context);
    Bytes expected(64, 0);
    std::copy_n(Bytes{9, 0, 2, 0, 3, 1}.begin(), 6, expected.begin());
    EXPECT_EQ(received[0].report, expected);

    // Unconsumed reports and reports without a callback go to the queue.
    readResult = 0;
    EXPECT_EQ(hid.DeliverReport(device, 1, {9, 1}), std::optional<int>(0));
    EXPECT_EQ(hid.DeliverReport(device, 0, {1, 2, 3, 4, 5, 6, 7}), std::nullopt);
    EXPECT_EQ(hid.QueuedReports(device, 1), (std::deque<Bytes>{{9, 1, 0, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(hid.QueuedReports(device, 0), (std::deque<Bytes>{{1, 2, 3, 4, 5}}));
    EXPECT_EQ(received.size(), 2u);

    // Posted reports wait for the dispatch and arrive in order.
    readResult = 1;
    hid.PostReport(device, 1, {9, 0, 0});
    hid.PostReport(device, 1, {9, 0, 3});
    EXPECT_EQ(received.size(), 2u);
    EXPECT_EQ(hid.DispatchReports(), 2u);
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[2].report[2], 0);
    EXPECT_EQ(received[3].report[2], 3);

    // Clearing the callback stops the deliveries.
    EXPECT_EQ(IowKit2SetReadCallback(device, 1, nullptr, nullptr), 1);
    EXPECT_EQ(hid.DeliverReport(device, 1, {9}), std::nullopt);
    EXPECT_EQ(received.size(), 4u);
}

TEST_F(IowKit2DoubleTest, ArrivalsRemovalsAndTheLifeOfAHandle) {
    int context = 0;
    IowKit2Handle early = hid.AddDevice();
    EXPECT_EQ(IowKit2RegisterDeviceCallback(RecordDeviceEvent, &context), 0u);
    EXPECT_TRUE(hid.Started());
    EXPECT_EQ(hid.DeviceCallback(), &RecordDeviceEvent);
    EXPECT_EQ(hid.DeviceCallbackContext(), &context);
    EXPECT_TRUE(deviceEvents.empty());  // starting announces nothing by itself

    IowKit2Handle plugged = hid.Plug();
    EXPECT_EQ(deviceEvents, (std::vector<DeviceEvent>{{0, plugged, &context}}));

    // Only open, unclaimed devices are announced.
    IowKit2SetClaimed(plugged, 1);
    deviceEvents.clear();
    IowKit2AnnounceUnclaimed();
    EXPECT_EQ(deviceEvents, (std::vector<DeviceEvent>{{0, early, &context}}));

    // A removed, claimed device answers until its claim is cleared.
    deviceEvents.clear();
    hid.Unplug(plugged);
    EXPECT_EQ(deviceEvents, (std::vector<DeviceEvent>{{1, plugged, &context}}));
    EXPECT_EQ(IowKit2GetProductId(plugged), 0x03EB);
    EXPECT_EQ(IowKit2Write(plugged, 1, buffer.data()), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_EQ(IowKit2SetClaimed(plugged, 0), 1);
    EXPECT_FALSE(hid.IsValid(plugged));
    EXPECT_EQ(IowKit2GetProductId(plugged), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);

    // An unclaimed device is released at its removal.
    hid.Unplug(early);
    EXPECT_FALSE(hid.IsValid(early));

    // Shutting down closes everything without callbacks.
    IowKit2Handle last = hid.Plug();
    IowKit2SetClaimed(last, 1);
    deviceEvents.clear();
    IowKit2Shutdown();
    EXPECT_TRUE(deviceEvents.empty());
    EXPECT_FALSE(hid.Started());
    EXPECT_EQ(IowKit2SetClaimed(last, 0), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
}

TEST_F(IowKit2DoubleTest, CallJournal) {
    IowKit2RegisterDeviceCallback(RecordDeviceEvent, nullptr);
    IowKit2Handle device = hid.AddDevice();
    IowKit2SetClaimed(device, 1);
    IowKit2SetReadCallback(device, 1, RecordReport, nullptr);
    std::array<uint8_t, 64> report{8, 1, 3};
    IowKit2Write(device, 1, report.data());
    IowKit2Write(nullptr, 1, report.data());
    EXPECT_EQ(hid.CallNames(), (std::vector<std::string>{"RegisterDeviceCallback", "SetClaimed 1",
                                                         "SetReadCallback 1 on",
                                                         "Write 1: 8 1 3 0 0 0 0 0", "Write 1:"}));
    EXPECT_EQ(hid.Calls()[3].result, 8);
    EXPECT_EQ(hid.Calls()[4].lastError, 87u);
}

}  // namespace
