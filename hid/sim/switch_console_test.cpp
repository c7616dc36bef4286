#include "hid/sim/switch_console.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hidsim {
namespace {

using Report = std::vector<uint8_t>;

TEST(WireLogLine, DirectionThenHexBytes) {
    const Report setPort{9, 4, 11, 2, 2, 0, 0, 0};
    EXPECT_EQ(WireLogLine(Direction::kToSwitch, setPort.data(), setPort.size()),
              "> 09 04 0B 02 02 00 00 00");
    const Report answer{9, 4, 255, 0xA5, 16, 0, 0, 0};
    EXPECT_EQ(WireLogLine(Direction::kFromSwitch, answer.data(), answer.size()),
              "< 09 04 FF A5 10 00 00 00");
}

class SwitchConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        device_->SetTrafficListener([this](Direction direction, const uint8_t* data, size_t size) {
            if (direction == Direction::kFromSwitch) {
                answers_.emplace_back(data, data + size);
            }
        });
        device_->Plug();
    }

    // Writes a report to the switch as the program would; the platform's
    // result (0 when it was written).
    uint32_t Write(Report report) {
        report.resize(kSwitchPipe1ReportLength);
        auto writer = platform_->OpenWritePort(device_->Pipe(1).Path());
        return writer->Write(report.data(), kSwitchPipe1ReportLength, kInfiniteWait);
    }

    std::shared_ptr<Bus> bus_ = Bus::Make();
    std::unique_ptr<IowKit2Platform> platform_ = bus_->MakePlatform();
    std::shared_ptr<VirtualSwitch> device_ = VirtualSwitch::Make(bus_, SwitchOptions{});
    SwitchConsole console_{device_};
    std::vector<Report> answers_;
};

TEST_F(SwitchConsoleTest, CommandsPlayTheSwitch) {
    EXPECT_EQ(console_.Execute("unplug"), "ok");
    EXPECT_FALSE(device_->IsPlugged());
    EXPECT_EQ(console_.Execute("fail-writes on"), "ok");
    EXPECT_EQ(console_.Execute("  plug \r\n"), "ok");
    EXPECT_TRUE(device_->IsPlugged());
    EXPECT_NE(Write({8, 1, 3}), 0u);  // failing also on the newly plugged device
    EXPECT_EQ(console_.Execute("fail-writes off"), "ok");
    EXPECT_EQ(Write({8, 1, 3}), 0u);

    EXPECT_EQ(console_.Execute("status 3 0"), "ok");
    // A query while status answers are off goes unanswered.
    EXPECT_EQ(console_.Execute("status-answers off"), "ok");
    Write({9, 4, 255});
    Write({9, 4, 7});
    EXPECT_EQ(console_.Execute("status-answers on"), "ok");
    for (int record = 0; record < 2; ++record) {
        Write({9, 4, 255});
        Write({9, 4, 7});
    }
    EXPECT_EQ(console_.Execute("button 2"), "ok");
    EXPECT_EQ(answers_, (std::vector<Report>{{9, 4, 255, 3, 0, 0, 0, 0},
                                             {9, 4, 255, 0, 0, 0, 0, 0},
                                             {9, 4, 2, 0, 2, 0, 0, 0}}));
    EXPECT_EQ(device_->Port(), 2);

    EXPECT_EQ(console_.Execute("plug").rfind("ok", 0), 0u);
    EXPECT_EQ(console_.Execute(""), "");
    EXPECT_NE(console_.Execute("help").find("fail-writes on|off"), std::string::npos);
}

TEST_F(SwitchConsoleTest, WrongLinesAreExplainedAndChangeNothing) {
    for (const char* line : {"button 4", "button", "button x", "button 1 2", "button -1", "status",
                             "status 256", "status 1 x", "status-answers", "fail-writes",
                             "fail-writes maybe", "plug now", "PLUG", "frobnicate"}) {
        EXPECT_EQ(console_.Execute(line).rfind("error: ", 0), 0u) << line;
    }
    EXPECT_TRUE(device_->IsPlugged());
    EXPECT_EQ(device_->Port(), 0);
    EXPECT_TRUE(answers_.empty());

    console_.Execute("unplug");
    EXPECT_EQ(console_.Execute("button 1").rfind("error: ", 0), 0u);
}

}  // namespace
}  // namespace hidsim
