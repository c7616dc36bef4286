#include "firmware/update_query.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using firmware::IsUpToDate;
using firmware::TakeLine;
using firmware::UpdateQueryPath;

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    std::string line;
    while (TakeLine(text, line)) {
        lines.push_back(line);
    }
    return lines;
}

TEST(UpdateQuery, PathAndQueryCarryTheValuesAsTheyAre) {
    EXPECT_EQ(UpdateQueryPath("1.1", 2, "1.0.1"),
              "/firmware/check.php?fw=1.1&swid=2&av=1.0.1&os=w");
    EXPECT_EQ(UpdateQueryPath("", 0, "1.0.1"), "/firmware/check.php?fw=&swid=0&av=1.0.1&os=w");
    EXPECT_EQ(UpdateQueryPath("255.255", 255, "a b&c"),
              "/firmware/check.php?fw=255.255&swid=255&av=a b&c&os=w");
}

TEST(UpdateQuery, OnlyAnExactNullPrefixMeansUpToDate) {
    for (const char* line : {"NULL", "NULLX 1.4", "NULL\t"}) {
        EXPECT_TRUE(IsUpToDate(line)) << line;
    }
    for (const char* line : {"NUL", "null", " NULL", "Null", "", "1.3", "xNULL"}) {
        EXPECT_FALSE(IsUpToDate(line)) << line;
    }
}

TEST(UpdateQuery, LinesEndAtLineFeedsWithoutCarriageReturns) {
    EXPECT_EQ(Lines(""), std::vector<std::string>{});
    EXPECT_EQ(Lines("\n"), std::vector<std::string>{""});
    EXPECT_EQ(Lines("\r\n"), std::vector<std::string>{""});
    EXPECT_EQ(Lines("1.3\r\nS1\r03\n\nlast"),
              (std::vector<std::string>{"1.3", "S103", "", "last"}));
    EXPECT_EQ(Lines("a\n\n"), (std::vector<std::string>{"a", ""}));
    // 8-bit bytes and NULs are characters like any other; no length limit.
    const std::string bytes("\xFF\x00\x80", 3);
    EXPECT_EQ(Lines(bytes + "\n" + std::string(100000, 'x')),
              (std::vector<std::string>{bytes, std::string(100000, 'x')}));
}

}  // namespace
