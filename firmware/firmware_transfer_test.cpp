#include "firmware/firmware_transfer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using firmware::OutcomeOf;
using firmware::RecordTypeOf;
using firmware::TransferOutcome;
using firmware::TransferProgress;

TEST(FirmwareTransfer, OnlyS0S1AndS9LinesAreRecords) {
    EXPECT_EQ(RecordTypeOf("S00600004844521B"), 240);
    EXPECT_EQ(RecordTypeOf("S1130000285F245F2212226A000424290008237C2A"), 241);
    EXPECT_EQ(RecordTypeOf("S9030000FC"), 242);
    EXPECT_EQ(RecordTypeOf("S1"), 241);
    for (const char* line : {"", "S", "S2080000000000", "S3", "S5030003F9", "S7", "S8", "s1130000",
                             " S1", "X1", "1.3"}) {
        EXPECT_EQ(RecordTypeOf(line), std::nullopt) << line;
    }
}

// The texts themselves are checked where a check ends in them
// (upgrade_check_test); here, which statuses and counts lead to which.
TEST(FirmwareTransfer, OutcomeMessages) {
    using Result = firmware::TransferResult;
    for (uint32_t code : {1u, 2u, 7u, 10u, 11u, 255u}) {
        EXPECT_EQ(OutcomeOf({Result::Kind::Ran, code, 3, 1}, true).text,
                  "Firmware Upgrade Error " + std::to_string(code));
    }
    // A switch that answered a status twice confirmed no more than it got.
    EXPECT_EQ(OutcomeOf({Result::Kind::Ran, 0, 3, 4}, true).text, "Firmware Upgrade finished");
}

TEST(FirmwareTransfer, ProgressCountsLineBreaksAndStopsAtTheEnd) {
    // "1.3\r\n" then "S9030000FC\r\n": 17 bytes, line 1 of 3 characters.
    TransferProgress progress(17, 3);
    EXPECT_EQ(progress.End(), 13);
    EXPECT_EQ(progress.Position(), 0);
    EXPECT_EQ(progress.Advance(10), 12);
    EXPECT_EQ(progress.Advance(0), 13);  // an empty line counts 2, but the end holds
    EXPECT_EQ(progress.Advance(5), 13);

    // A body without the first line's break, or told shorter than it was.
    EXPECT_EQ(TransferProgress(3, 3).End(), 0);
    EXPECT_EQ(TransferProgress(0, 10).End(), 0);
    // Past what a 32-bit range holds, the range stops at its largest value.
    EXPECT_EQ(TransferProgress(uint64_t{1} << 40, 4).End(), 2147483647);
}

}  // namespace
