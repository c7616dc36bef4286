#include "hid/sim/virtual_switch.h"

#include <gtest/gtest.h>

#include <vector>

namespace hidsim {
namespace {

using Report = std::vector<uint8_t>;

// Talks to the switch's pipe 1 through the platform, as the layer would.
class VirtualSwitchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        device_->SetTrafficListener([this](Direction direction, const uint8_t* data, size_t size) {
            (direction == Direction::kToSwitch ? sent_ : received_).emplace_back(data, data + size);
        });
        device_->Plug();
        reader_ = platform_->OpenReadPort(device_->Pipe(1).Path());
        writer_ = platform_->OpenWritePort(device_->Pipe(1).Path());
    }

    void Write(Report report) {
        report.resize(8);
        ASSERT_EQ(writer_->Write(report.data(), 8, kInfiniteWait), 0u);
    }

    // S0070000312E313137, an S0 record whose data is "1.11", in its reports.
    void WriteVersionRecord() {
        Write({9, 0xC3, 240, 18, 0});
        Write({9, 0xC6, 'S', '0', '0', '7', '0', '0'});
        Write({9, 0xC6, '0', '0', '3', '1', '2', 'E'});
        Write({9, 0x86, '3', '1', '3', '1', '3', '7'});
    }

    // The input reports waiting on pipe 1.
    std::vector<Report> Answers() {
        std::vector<Report> answers;
        auto stop = platform_->CreateSignal();
        while (device_->Pipe(1).Reads().buffered > 0) {
            uint8_t buffer[64] = {};
            reader_->BeginRead(buffer, 8);
            EXPECT_EQ(reader_->WaitForReadOrStop(*stop, 250), IowKit2WaitResult::kCompletion);
            answers.emplace_back(buffer, buffer + 8);
        }
        return answers;
    }

    std::shared_ptr<Bus> bus_ = Bus::Make();
    std::unique_ptr<IowKit2Platform> platform_ = bus_->MakePlatform();
    std::shared_ptr<VirtualSwitch> device_ = VirtualSwitch::Make(bus_, SwitchOptions{});
    std::unique_ptr<IowKit2ReadPort> reader_;
    std::unique_ptr<IowKit2WritePort> writer_;
    std::vector<Report> sent_;
    std::vector<Report> received_;
};

TEST_F(VirtualSwitchTest, IsAnIoWarriorWithTwoInterfacesUnderOneDevice) {
    std::vector<std::string> paths;
    std::vector<std::optional<uint32_t>> keys;
    platform_->VisitHidInterfaces([&](const IowKit2InterfaceEntry& entry) {
        paths.push_back(entry.devicePath);
        keys.push_back(platform_->GetParent(*platform_->GetParent(entry.node)));
    });
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_TRUE(keys[0] && keys[0] == keys[1]);
    auto pipe0 = platform_->OpenProbe(paths[0]);
    auto pipe1 = platform_->OpenProbe(paths[1]);
    EXPECT_EQ(pipe0->GetAttributes()->vendorId, 0x1214);
    EXPECT_EQ(pipe1->GetAttributes()->productId, 0x03EB);
    EXPECT_LT(pipe0->GetCaps()->outputReportLength, 8);
    EXPECT_EQ(pipe1->GetCaps()->outputReportLength, 8);
    EXPECT_EQ(pipe1->GetCaps()->inputReportLength, 8);
    char16_t serial[9] = {};
    ASSERT_TRUE(pipe1->GetSerialNumberString(serial, sizeof serial));
    EXPECT_EQ(std::u16string(serial, 8), u"1A2B3C4D");
}

TEST_F(VirtualSwitchTest, AnswersNothingBeforeTheChannelIsEnabled) {
    Write({9, 4, 2});
    Write({9, 4, 7});
    EXPECT_TRUE(Answers().empty());
    EXPECT_FALSE(device_->ChannelEnabled());
    Write({8, 1, 3});
    EXPECT_TRUE(device_->ChannelEnabled());
    EXPECT_TRUE(Answers().empty());
}

TEST_F(VirtualSwitchTest, AnswersEachQueryOnItsFollowUpFrame) {
    Write({8, 1, 3});
    Write({9, 4, 0});
    EXPECT_TRUE(Answers().empty());
    Write({9, 4, 7});
    Write({9, 4, 2});
    Write({9, 4, 7});
    Write({9, 4, 3});
    Write({9, 4, 7});
    Write({9, 4, 7});  // a follow-up without a query
    EXPECT_EQ(Answers(),
              (std::vector<Report>{
                  {9, 4, 0, 0, 1, 10, 0, 0}, {9, 4, 2, 0, 0, 0, 0, 0}, {9, 4, 3, 0, 3, 0, 0, 0}}));
}

TEST_F(VirtualSwitchTest, SetPortAnswersThePortStateAtOnce) {
    Write({8, 1, 3});
    Write({9, 4, 11, 2, 3});
    EXPECT_EQ(device_->Port(), 2);
    EXPECT_EQ(device_->SecondPort(), 3);
    EXPECT_EQ(Answers(), (std::vector<Report>{{9, 4, 2, 0, 2, 3, 0, 0}}));
    device_->PressPortButton(1);
    EXPECT_EQ(Answers(), (std::vector<Report>{{9, 4, 2, 0, 1, 3, 0, 0}}));
}

TEST_F(VirtualSwitchTest, RecordsAndScriptedStatuses) {
    device_->ScriptRecordStatuses({0, 7});
    Write({8, 1, 3});
    Write({9, 1, 8});
    // A 7-byte record of type 241, then an empty one of type 240.
    Write({9, 0xC2, 241, 7});
    Write({9, 0xC6, 'S', '1', '0', '3', '0', '0'});
    Write({9, 0x81, '0'});
    Write({9, 4, 255});
    Write({9, 4, 7});
    Write({9, 0xC3, 240, 0, 0});
    Write({9, 4, 255});
    Write({9, 4, 7});
    Write({9, 4, 255});
    Write({9, 4, 7});
    Write({9, 1, 8});
    Write({9, 1, 254});
    EXPECT_EQ(Answers(), (std::vector<Report>{{9, 4, 255, 0, 0, 0, 0, 0},
                                              {9, 4, 255, 7, 0, 0, 0, 0},
                                              {9, 4, 255, 0, 0, 0, 0, 0}}));
    auto records = device_->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].type, 241);
    EXPECT_EQ(records[0].declaredLength, 7);
    EXPECT_EQ(records[0].text, "S103000");
    EXPECT_EQ(records[1].type, 240);
    EXPECT_EQ(records[1].text, "");
    EXPECT_EQ(device_->TransferMarks(), 3);
}

TEST_F(VirtualSwitchTest, ReportsTheVersionOfItsLastTransferAfterTheEndMark) {
    Write({8, 1, 3});
    Write({9, 1, 8});
    WriteVersionRecord();
    Write({9, 4, 0});
    Write({9, 4, 7});
    Write({9, 1, 8});
    Write({9, 1, 254});
    Write({9, 4, 0});
    Write({9, 4, 7});
    EXPECT_EQ(Answers(), (std::vector<Report>{{9, 4, 0, 0, 1, 10, 0, 0},  // before the end
                                              {9, 4, 0, 0, 1, 11, 0, 0}}));
}

TEST_F(VirtualSwitchTest, ATransferWithARefusedOrUnansweredRecordKeepsTheOldFirmware) {
    device_->ScriptRecordStatuses({4});
    Write({8, 1, 3});
    for (const bool answering : {true, false}) {
        device_->AnswerRecordStatuses(answering);
        Write({9, 1, 8});
        WriteVersionRecord();
        Write({9, 4, 255});
        Write({9, 4, 7});
        Write({9, 1, 8});
        Write({9, 1, 254});
        Write({9, 4, 0});
        Write({9, 4, 7});
        std::vector<Report> answers{{9, 4, 255, 4, 0, 0, 0, 0}, {9, 4, 0, 0, 1, 10, 0, 0}};
        EXPECT_EQ(Answers(), std::vector<Report>(answers.begin() + !answering, answers.end()));
    }
}

TEST_F(VirtualSwitchTest, TheListenerSeesBothDirectionsAndReplugKeepsTheFirmware) {
    Write({8, 1, 3});
    Write({9, 4, 11, 3, 0});
    EXPECT_EQ(sent_, (std::vector<Report>{{8, 1, 3, 0, 0, 0, 0, 0}, {9, 4, 11, 3, 0, 0, 0, 0}}));
    EXPECT_EQ(received_, (std::vector<Report>{{9, 4, 2, 0, 3, 0, 0, 0}}));

    const std::string oldPath = device_->Pipe(1).Path();
    device_->Unplug();
    EXPECT_FALSE(device_->IsPlugged());
    device_->Plug();
    EXPECT_TRUE(device_->IsPlugged());
    EXPECT_NE(device_->Pipe(1).Path(), oldPath);
    EXPECT_EQ(device_->Port(), 3);
}

}  // namespace
}  // namespace hidsim
