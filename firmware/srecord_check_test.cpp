#include "firmware/srecord_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using firmware::IsWholeSRecord;

// Records of the sample image 1.11.s19 (its S0, first S1 and S9).
constexpr char kS0[] = "S0070000312E313137";
constexpr char kS1[] = "S123000000070E151C232A31383F464D545B626970777E858C939AA1A8AFB6BDC4CBD2D94C";
constexpr char kS9[] = "S9030000FC";

TEST(SRecordCheck, WholeAndDamagedRecords) {
    for (const char* line : {kS0, kS1, kS9, "S9030000fc", "S5030001FB"}) {
        EXPECT_TRUE(IsWholeSRecord(line)) << line;
    }
    const std::vector<std::string> damaged{
        // A G among the digits, a space, a sign.
        "S123000000070E151C232A31383F464D545B626970777E858C939AA1A8AFB6BDC4CBD2G94C",
        "S90300 0FC",
        "S9-3000+FC",
        // An odd count of digits.
        "S9030000FCC",
        "S0070000312E31313",
        // A count byte that does not match the bytes after it: one more (the
        // checksum fits), one byte cut off the end.
        "S9040000FB",
        "S123000000070E151C232A31383F464D545B626970777E858C939AA1A8AFB6BDC4CBD2D9",
        // Wrong checksums.
        "S9030000FD",
        "S0070000312E313138",
        // No whole address: nothing after the type, a count byte alone, a
        // checksum alone, one address byte and the checksum.
        "S1",
        "S100",
        "S101FE",
        "S90200FD",
        "",
    };
    for (const std::string& line : damaged) {
        EXPECT_FALSE(IsWholeSRecord(line)) << line;
    }
}

}  // namespace
