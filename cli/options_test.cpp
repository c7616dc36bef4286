#include "cli/options.h"

#include <gtest/gtest.h>

#include <vector>

namespace cli {
namespace {

struct Case {
    std::vector<std::string_view> arguments;
    std::variant<Options, UsageError> expected;
};

TEST(ParseOptionsTest, TakesOneCommandAndNamesWhatIsWrong) {
    const Case cases[] = {
        {{"--port", "B"}, Options{Action::kSetPort, 1}},
        {{"--port", "d"}, Options{Action::kSetPort, 3}},
        {{"--port", "1"}, Options{Action::kSetPort, 0}},
        {{"--port=C"}, Options{Action::kSetPort, 2}},
        {{"--rotate"}, Options{Action::kRotate}},
        {{"--status"}, Options{Action::kStatus}},
        {{"--help"}, Options{Action::kHelp}},
        {{"-h"}, Options{Action::kHelp}},
        {{"/?"}, Options{Action::kHelp}},
        {{}, UsageError{"no command given"}},
        {{"--port", "E"}, UsageError{"'E' is no port: use A-D or 1-4"}},
        {{"--port", "5"}, UsageError{"'5' is no port: use A-D or 1-4"}},
        {{"--port", "AB"}, UsageError{"'AB' is no port: use A-D or 1-4"}},
        {{"--port="}, UsageError{"'' is no port: use A-D or 1-4"}},
        {{"--port"}, UsageError{"--port needs a port: A-D or 1-4"}},
        {{"--stat"}, UsageError{"unknown option '--stat'"}},
        {{"B"}, UsageError{"unknown option 'B'"}},
        {{"--status", "--rotate"}, UsageError{"one command at a time, not '--rotate' too"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseOptions(c.arguments), c.expected)
            << "arguments: " << (c.arguments.empty() ? "(none)" : c.arguments[0]);
    }
}

}  // namespace
}  // namespace cli
