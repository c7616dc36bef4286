#include "switchlink/switch_connection.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "hid/testing/iowkit2_double.h"
#include "switchlink/testing/recording_desktop.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Event = RecordingDesktop::Event;
using Operation = IowKit2Double::Operation;

// What a switch arrival does, in order, with every report as sent.
const std::vector<std::string> kArrivalCalls{
    "GetProductId",
    "SetClaimed 1",
    "SetReadCallback 1 on",
    "Write 1: 8 1 3 0 0 0 0 0",
    "GetSerialNumber",
    "GetRevision",
    "Write 1: 9 4 2 0 0 0 0 0",
    "Write 1: 9 4 7 0 0 0 0 0",
    "Write 1: 9 4 0 0 0 0 0 0",
    "Write 1: 9 4 7 0 0 0 0 0",
    "Write 1: 9 4 3 0 0 0 0 0",
    "Write 1: 9 4 7 0 0 0 0 0",
};

// The values the connection keeps, to see that a report changed none of them.
struct Kept {
    std::string firmwareVersion;
    uint32_t currentPort, secondPort, deviceType, recordStatus, serialNumber, revision;
    bool operator==(const Kept&) const = default;
};

class SwitchConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(IowKit2RegisterDeviceCallback(SwitchConnection::OnDeviceEvent,
                                                connection.CallbackContext()),
                  0u);
        hid.ClearCalls();
    }

    // Hands the switch an answer on pipe 1; returns the read callback's result.
    int Answer(IowKit2Handle device, Bytes report) {
        return hid.DeliverReport(device, 1, report).value_or(-1);
    }

    Kept KeptValues() const {
        return {connection.FirmwareVersion(), connection.CurrentPort(),  connection.SecondPort(),
                connection.DeviceType(),      connection.RecordStatus(), connection.SerialNumber(),
                connection.HardwareRevision()};
    }

    IowKit2Double hid;
    RecordingDesktop desktop;
    SwitchConnection connection{desktop};
    const IowKit2DeviceInfo kSwitch{
        .productId = 0x03EB, .revision = 0x1021, .serialNumber = 0x0012ABCD};
};

TEST_F(SwitchConnectionTest, StartsWithoutASwitchAndWithoutPretendedValues) {
    EXPECT_EQ(connection.DeviceHandle(), nullptr);
    EXPECT_EQ(connection.FirmwareVersion(), "");
    EXPECT_EQ(connection.RecordStatus(), 0u);
    EXPECT_GT(connection.CurrentPort(), 3u);  // no port item checked for it
    EXPECT_EQ(SwitchConnection::GetModelName(connection.DeviceType()), "Unknown");

    // Without a switch the requests reach nothing and fail quietly.
    connection.QueryPort();
    EXPECT_EQ(connection.BeginFirmwareTransfer(), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_TRUE(hid.Writes().empty());
}

TEST_F(SwitchConnectionTest, ArrivalTakesTheSwitchInOrder) {
    IowKit2Handle device = hid.Plug(kSwitch);

    EXPECT_EQ(hid.CallNames(), kArrivalCalls);
    for (const IowKit2Double::Call& call : hid.Calls()) {
        EXPECT_EQ(call.device, device);
        EXPECT_EQ(call.lastError, 0u);
    }
    EXPECT_EQ(connection.DeviceHandle(), device);
    EXPECT_TRUE(hid.IsClaimed(device));
    EXPECT_EQ(hid.ReadCallback(device, 1), &SwitchConnection::OnSwitchReport);
    EXPECT_EQ(hid.ReadCallbackContext(device, 1), connection.CallbackContext());
    EXPECT_EQ(connection.SerialNumber(), 0x0012ABCDu);
    EXPECT_EQ(connection.HardwareRevision(), 0x1021u);
    EXPECT_TRUE(desktop.Events().empty());  // the menu changes only with answers
}

TEST_F(SwitchConnectionTest, ArrivalStepsAreNotChecked) {
    // A switch whose setup fails is held all the same; it just never answers.
    hid.FailNext(Operation::SetReadCallback, 87);
    hid.FailNext(Operation::Write, 1460, 7);
    IowKit2Handle device = hid.Plug(kSwitch);
    EXPECT_EQ(connection.DeviceHandle(), device);
    EXPECT_EQ(hid.CallNames(), kArrivalCalls);
    EXPECT_TRUE(hid.Writes().empty());
}

TEST_F(SwitchConnectionTest, AnswersAreKeptAndShown) {
    IowKit2Handle device = hid.Plug(kSwitch);

    std::string versionWhenSent;
    desktop.onUpdateStatus = [&] { versionWhenSent = connection.FirmwareVersion(); };
    EXPECT_EQ(Answer(device, {9, 0, 0, 0, 1, 10}), 1);
    EXPECT_EQ(connection.FirmwareVersion(), "1.10");
    EXPECT_EQ(versionWhenSent, "1.10");
    EXPECT_EQ(Answer(device, {9, 0, 0, 0, 2, 0}), 1);
    EXPECT_EQ(connection.FirmwareVersion(), "2.0");
    EXPECT_EQ(desktop.Events(), (std::vector<Event>{Event::UpdateStatus(), Event::UpdateStatus()}));

    desktop.ClearEvents();
    EXPECT_EQ(Answer(device, {9, 0, 2, 0, 2, 1}), 1);
    EXPECT_EQ(connection.CurrentPort(), 2u);
    EXPECT_EQ(connection.SecondPort(), 1u);
    EXPECT_EQ(desktop.Events(),
              (std::vector<Event>{Event::Check(40015, false), Event::Check(40016, false),
                                  Event::Check(40017, true), Event::Check(40018, false)}));
    Answer(device, {9, 0, 2, 0, 0, 0});
    Answer(device, {9, 0, 2, 0, 3, 3});
    EXPECT_TRUE(desktop.Item(40018).checked);
    EXPECT_FALSE(desktop.Item(40015).checked);

    // Ports above 3 are kept but have no menu item: the check marks stay.
    desktop.ClearEvents();
    EXPECT_EQ(Answer(device, {9, 0, 2, 0, 4, 0}), 1);
    EXPECT_EQ(connection.CurrentPort(), 4u);
    EXPECT_EQ(Answer(device, {9, 0, 2, 0, 7, 2}), 1);
    EXPECT_EQ(connection.CurrentPort(), 7u);
    EXPECT_EQ(connection.SecondPort(), 2u);
    EXPECT_TRUE(desktop.Events().empty());

    EXPECT_EQ(Answer(device, {9, 0, 3, 0, 2}), 1);
    EXPECT_EQ(connection.DeviceType(), 2u);
    EXPECT_EQ(desktop.Events(), (std::vector<Event>{Event::Text(40022, "Pelorandix Type B1"),
                                                    Event::Disable(40022)}));
    for (uint8_t type : {0, 4, 255}) {
        desktop.ClearEvents();
        Answer(device, {9, 0, 3, 0, type});
        EXPECT_EQ(connection.DeviceType(), type);
        EXPECT_EQ(desktop.Events(),
                  (std::vector<Event>{Event::Text(40022, "Unknown"), Event::Disable(40022)}));
    }

    desktop.ClearEvents();
    EXPECT_EQ(Answer(device, {9, 0, 255, 200}), 1);
    EXPECT_EQ(connection.RecordStatus(), 200u);
    EXPECT_TRUE(desktop.Events().empty());
}

TEST_F(SwitchConnectionTest, OtherReportsChangeNothing) {
    IowKit2Handle device = hid.Plug(kSwitch);
    Answer(device, {9, 0, 2, 0, 1, 1});
    desktop.ClearEvents();
    const Kept before = KeptValues();

    std::vector<Bytes> ignored{{8, 0, 2, 0, 3, 3}, {0, 0, 0, 0, 9, 9}, {9, 0, 1, 5, 3, 3}};
    for (int code = 4; code <= 254; ++code) {
        ignored.push_back({9, 0, static_cast<uint8_t>(code), 5, 3, 3});
    }
    for (const Bytes& report : ignored) {
        EXPECT_EQ(Answer(device, report), 1) << int(report[2]);
    }
    // The same answers on pipe 0, or too short to hold an answer.
    const std::array<uint8_t, 64> port3{9, 0, 2, 0, 3, 3};
    void* context = connection.CallbackContext();
    EXPECT_EQ(SwitchConnection::OnSwitchReport(device, 0, port3.data(), 8, context), 1);
    EXPECT_EQ(SwitchConnection::OnSwitchReport(device, 1, port3.data(), 4, context), 1);
    EXPECT_EQ(SwitchConnection::OnSwitchReport(device, 1, nullptr, 8, context), 1);

    EXPECT_EQ(KeptValues(), before);
    EXPECT_TRUE(desktop.Events().empty());
    EXPECT_TRUE(hid.QueuedReports(device, 1).empty());  // every report was consumed
}

TEST_F(SwitchConnectionTest, OnlyOneSwitchAndOnlySwitchesAreTaken) {
    IowKit2Handle other = hid.Plug({.productId = 0x1500});
    EXPECT_EQ(hid.CallNames(), (std::vector<std::string>{"GetProductId"}));
    EXPECT_FALSE(hid.IsClaimed(other));
    EXPECT_EQ(connection.DeviceHandle(), nullptr);

    IowKit2Handle first = hid.Plug(kSwitch);
    IowKit2Handle second = hid.Plug({.serialNumber = 0x99});
    EXPECT_EQ(connection.DeviceHandle(), first);
    EXPECT_FALSE(hid.IsClaimed(second));
    for (const IowKit2Double::Call& call : hid.Calls()) {
        EXPECT_NE(call.device, second);
    }

    // A removal of a device not held, or an unknown event, changes nothing.
    hid.ClearCalls();
    hid.AnnounceRemoval(second);
    hid.AnnounceRemoval(nullptr);
    SwitchConnection::OnDeviceEvent(2, first, connection.CallbackContext());
    EXPECT_TRUE(hid.Calls().empty());
    EXPECT_EQ(connection.DeviceHandle(), first);
    EXPECT_TRUE(hid.IsClaimed(first));

    // The second switch is taken only when it is announced again.
    hid.Unplug(first);
    EXPECT_EQ(connection.DeviceHandle(), nullptr);
    EXPECT_FALSE(hid.IsClaimed(second));
    hid.ClearCalls();
    IowKit2AnnounceUnclaimed();
    EXPECT_EQ(connection.DeviceHandle(), second);
    EXPECT_EQ(connection.SerialNumber(), 0x99u);
    EXPECT_TRUE(hid.IsClaimed(second));
    EXPECT_FALSE(hid.IsClaimed(other));
}

TEST_F(SwitchConnectionTest, UnplugKeepsTheValuesAndReplugRepeatsEveryStep) {
    IowKit2Handle device = hid.Plug(kSwitch);
    Answer(device, {9, 0, 0, 0, 1, 10});
    Answer(device, {9, 0, 2, 0, 1, 3});
    Answer(device, {9, 0, 3, 0, 1});
    desktop.ClearEvents();
    hid.ClearCalls();
    const Kept before = KeptValues();

    hid.Unplug(device);
    EXPECT_EQ(hid.CallNames(), (std::vector<std::string>{"SetClaimed 0"}));
    EXPECT_EQ(connection.DeviceHandle(), nullptr);
    EXPECT_FALSE(hid.IsValid(device));  // the layer could release it
    EXPECT_EQ(KeptValues(), before);
    EXPECT_TRUE(desktop.Events().empty());

    // With no switch held, a removal (even of the null handle) does nothing.
    hid.ClearCalls();
    hid.AnnounceRemoval(nullptr);
    EXPECT_TRUE(hid.Calls().empty());

    IowKit2Handle again =
        hid.Plug({.productId = 0x03EB, .revision = 0x1022, .serialNumber = 0x0012ABCD});
    EXPECT_NE(again, device);
    EXPECT_EQ(hid.CallNames(), kArrivalCalls);
    EXPECT_EQ(connection.DeviceHandle(), again);
    EXPECT_EQ(connection.HardwareRevision(), 0x1022u);
    EXPECT_EQ(connection.FirmwareVersion(), "1.10");  // until the switch answers again
}

TEST_F(SwitchConnectionTest, FirmwareRecordsWaitAfterEveryChunk) {
    IowKit2Handle device = hid.Plug(kSwitch);
    hid.ClearWrites();
    std::vector<size_t> writesBeforeSleep;
    desktop.onSleep = [&](unsigned) { writesBeforeSleep.push_back(hid.Writes().size()); };
    // The switch answers the status query, but only once messages are dispatched.
    hid.onWrite = [&](const IowKit2Double::WriteRecord& write) {
        if (write.bytes[2] == 255) {
            hid.PostReport(device, 1, {9, 0, 255, 5});
        }
    };

    EXPECT_TRUE(connection.SendFirmwareRecord("ABCDEFG", 241));
    EXPECT_EQ(hid.WrittenBytes(), (std::vector<Bytes>{
                                      {9, 0xC2, 241, 7, 0, 0, 0, 0},
                                      {9, 0xC6, 'A', 'B', 'C', 'D', 'E', 'F'},
                                      {9, 0x81, 'G', 0, 0, 0, 0, 0},
                                      {9, 4, 255, 0, 0, 0, 0, 0},
                                      {9, 4, 7, 0, 0, 0, 0, 0},
                                  }));
    EXPECT_EQ(desktop.Sleeps(), (std::vector<unsigned>{1, 1, 1}));
    EXPECT_EQ(writesBeforeSleep, (std::vector<size_t>{2, 3, 4}));

    // The first non-zero status since the transfer began is kept.
    hid.DispatchReports();
    EXPECT_EQ(connection.RecordStatus(), 5u);
    EXPECT_EQ(connection.TransferStatus(), 5u);
    hid.DeliverReport(device, 1, {9, 0, 255, 0});
    EXPECT_EQ(connection.RecordStatus(), 0u);
    EXPECT_EQ(connection.TransferStatus(), 5u);
    hid.ClearWrites();
    desktop.ClearEvents();
    EXPECT_TRUE(connection.SendFirmwareRecord("", 240));
    EXPECT_EQ(hid.WrittenBytes(), (std::vector<Bytes>{
                                      {9, 0xC3, 0xF0, 0, 0, 0, 0, 0},
                                      {9, 4, 255, 0, 0, 0, 0, 0},
                                      {9, 4, 7, 0, 0, 0, 0, 0},
                                  }));
    EXPECT_EQ(desktop.Sleeps(), (std::vector<unsigned>{1}));

    // 300 bytes: the header carries 300 - 256; fifty chunks, the last one 0x86.
    hid.ClearWrites();
    desktop.ClearEvents();
    connection.SendFirmwareRecord(std::string(300, 'x'), 242);
    const std::vector<Bytes> written = hid.WrittenBytes();
    ASSERT_EQ(written.size(), 53u);
    EXPECT_EQ(written[0], (Bytes{9, 0xC2, 242, 44, 0, 0, 0, 0}));
    EXPECT_EQ(written[49], (Bytes{9, 0xC6, 'x', 'x', 'x', 'x', 'x', 'x'}));
    EXPECT_EQ(written[50], (Bytes{9, 0x86, 'x', 'x', 'x', 'x', 'x', 'x'}));
    EXPECT_EQ(desktop.Sleeps().size(), 51u);
}

TEST_F(SwitchConnectionTest, FirmwareTransferFrame) {
    hid.Plug(kSwitch);
    hid.ClearWrites();
    EXPECT_EQ(connection.BeginFirmwareTransfer(), 8);
    EXPECT_TRUE(connection.EndFirmwareTransfer());
    EXPECT_EQ(hid.WrittenBytes(), (std::vector<Bytes>{
                                      {9, 1, 8, 0, 0, 0, 0, 0},
                                      {9, 1, 8, 0, 0, 0, 0, 0},
                                      {9, 1, 254, 0, 0, 0, 0, 0},
                                  }));
    hid.FailNext(Operation::Write);
    EXPECT_EQ(connection.BeginFirmwareTransfer(), 0);

    // A record stops at the write that failed.
    hid.ClearWrites();
    hid.FailNext(Operation::Write);
    hid.onWrite = [&](const IowKit2Double::WriteRecord&) {
        hid.FailNext(Operation::Write);
        hid.onWrite = nullptr;
    };
    EXPECT_FALSE(connection.SendFirmwareRecord("ABCDEFGHIJKLM", 241));
    EXPECT_TRUE(hid.Writes().empty());
    EXPECT_FALSE(connection.SendFirmwareRecord("ABCDEFGHIJKLM", 241));
    EXPECT_EQ(hid.WrittenBytes(), (std::vector<Bytes>{{9, 0xC2, 241, 13, 0, 0, 0, 0}}));
}

TEST_F(SwitchConnectionTest, SetPortGoesToTheHeldSwitch) {
    std::array<uint8_t, 64> setPort{9, 4, 11, 2, 2};
    EXPECT_EQ(connection.WriteToSwitch(setPort), 0);  // no switch yet
    IowKit2Handle device = hid.Plug(kSwitch);
    hid.ClearWrites();
    EXPECT_EQ(connection.WriteToSwitch(setPort), 8);
    ASSERT_EQ(hid.Writes().size(), 1u);
    EXPECT_EQ(hid.Writes()[0].device, device);
    EXPECT_EQ(hid.Writes()[0].pipe, 1u);
    EXPECT_EQ(hid.Writes()[0].bytes, (Bytes{9, 4, 11, 2, 2, 0, 0, 0}));
}

}  // namespace
