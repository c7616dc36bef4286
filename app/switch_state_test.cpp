#include "app/switch_state.h"

#include <gtest/gtest.h>

namespace remote {
namespace {

TEST(StateJsonTest, WritesEveryFieldWithNullForTheUnknownAndEscapedTexts) {
    SwitchState known{true, "Pelorandix Type C1", 2u, 0u, "1.10", "00001012", "1A2B3C4D", false};
    EXPECT_EQ(StateJson(known),
              "{\"connected\":true,\"model\":\"Pelorandix Type C1\",\"port\":\"C\","
              "\"secondPort\":\"A\",\"firmwareVersion\":\"1.10\",\"hardwareRevision\":"
              "\"00001012\",\"serialNumber\":\"1A2B3C4D\",\"rotating\":false}");

    SwitchState odd{true,         "a\"b\\c\n",  4u,           std::nullopt,
                    std::nullopt, std::nullopt, std::nullopt, true};
    EXPECT_EQ(StateJson(odd),
              "{\"connected\":true,\"model\":\"a\\\"b\\\\c\\u000a\",\"port\":null,"
              "\"secondPort\":null,\"firmwareVersion\":null,\"hardwareRevision\":null,"
              "\"serialNumber\":null,\"rotating\":true}");
}

}  // namespace
}  // namespace remote
