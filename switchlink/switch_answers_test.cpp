#include "switchlink/switch_answers.h"

#include <gtest/gtest.h>

#include <array>

namespace switchlink {
namespace {

using Report = std::array<uint8_t, 64>;

std::optional<SwitchAnswer> Decode(Report report, unsigned pipe = 1, unsigned length = 8) {
    return DecodeAnswer(pipe, report.data(), length);
}

TEST(SwitchAnswers, DecodesTheFourAnswers) {
    auto version = Decode({9, 0, 0, 0, 1, 10});
    ASSERT_TRUE(version && std::holds_alternative<FirmwareVersionAnswer>(*version));
    EXPECT_EQ(std::get<FirmwareVersionAnswer>(*version).major, 1u);
    EXPECT_EQ(std::get<FirmwareVersionAnswer>(*version).minor, 10u);

    // Byte 3 of the port state is not used; values are unsigned.
    auto port = Decode({9, 0x55, 2, 9, 200, 1});
    ASSERT_TRUE(port && std::holds_alternative<PortStateAnswer>(*port));
    EXPECT_EQ(std::get<PortStateAnswer>(*port).port, 200u);
    EXPECT_EQ(std::get<PortStateAnswer>(*port).secondPort, 1u);

    auto type = Decode({9, 0, 3, 7, 2, 7});
    ASSERT_TRUE(type && std::holds_alternative<DeviceTypeAnswer>(*type));
    EXPECT_EQ(std::get<DeviceTypeAnswer>(*type).deviceType, 2u);

    auto status = Decode({9, 0, 255, 0xFE, 1, 1});
    ASSERT_TRUE(status && std::holds_alternative<RecordStatusAnswer>(*status));
    EXPECT_EQ(std::get<RecordStatusAnswer>(*status).status, 254u);
}

TEST(SwitchAnswers, IgnoresEverythingElse) {
    for (int code = 0; code <= 255; ++code) {
        const bool known = code == 0 || code == 2 || code == 3 || code == 255;
        EXPECT_EQ(Decode({9, 0, static_cast<uint8_t>(code), 1, 2, 3}).has_value(), known) << code;
    }
    EXPECT_FALSE(Decode({9, 0, 2, 0, 1, 0}, 0));  // pipe 0
    EXPECT_FALSE(Decode({8, 0, 2, 0, 1, 0}));     // not a transfer report
    EXPECT_FALSE(Decode({0, 0, 2, 0, 1, 0}));
    EXPECT_FALSE(Decode({9, 0, 2, 0, 1, 0}, 1, 5));  // too short to hold an answer
    EXPECT_FALSE(DecodeAnswer(1, nullptr, 8));
}

TEST(SwitchAnswers, FirmwareVersionText) {
    EXPECT_EQ(FirmwareVersionText(1, 10), "1.10");
    EXPECT_EQ(FirmwareVersionText(2, 0), "2.0");
    EXPECT_EQ(FirmwareVersionText(255, 255), "255.255");
}

TEST(SwitchAnswers, ModelNames) {
    EXPECT_EQ(ModelName(1), "Pelorandix Type A1");
    EXPECT_EQ(ModelName(2), "Pelorandix Type B1");
    EXPECT_EQ(ModelName(3), "Pelorandix Type C1");
    for (uint32_t type : {0u, 4u, 255u, 0xFFFFFFFFu}) {
        EXPECT_EQ(ModelName(type), "Unknown") << type;
    }
}

}  // namespace
}  // namespace switchlink
