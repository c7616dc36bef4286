// pelorandix.exe as a script runs it: with the virtual-switch program running
// (its wire log read from its standard output, the switch unplugged through
// its standard input), and on its own with the virtual switch
// (pelorandix-virtual.exe, whose wire log goes to standard error). Standard
// output and error of the console program arrive as one stream here.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "settings/test_files.h"
#include "tests/e2e/driver_win32.h"

namespace {

using e2e::ChildProgram;
using std::chrono::seconds;

constexpr char kCommandLine[] = "../../cli/pelorandix.exe";
constexpr char kCommandLineVirtual[] = "../../cli/pelorandix-virtual.exe";

constexpr char kDialogClass[] = "#32770";
constexpr char kMainWindowProperty[] = "Pelorandix.MainWindow";
constexpr char kInstanceMutex[] = "Local\\Pelorandix.ControlCenter";
constexpr char kDeviceTypeAnswer[] = "< 09 04 03 00 03";

constexpr auto kStartLimit = seconds(30);
constexpr auto kStepLimit = seconds(10);

struct Finished {
    std::optional<DWORD> exitCode;
    std::vector<std::string> lines;
};

class CommandLineTest : public ::testing::Test {
  protected:
    Finished Run(const char* exe, std::wstring_view arguments) {
        ChildProgram command(e2e::BesideThisProgram(exe), folder_.Path(), arguments);
        Finished finished{command.WaitForExit(kStartLimit), {}};
        EXPECT_TRUE(command.WaitForOutputEnd(kStepLimit));
        for (const e2e::OutputLine& line : command.Lines()) {
            finished.lines.push_back(line.text);
        }
        return finished;
    }

    TempFolder folder_;
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The running program with the virtual switch, and the release program with
// the same switch met through Wine's own HID stack: the answers, the revision
// and the serial number come through the real path there.
class RunningProgramCommandTest : public CommandLineTest,
                                  public ::testing::WithParamInterface<e2e::SwitchPath> {};

INSTANTIATE_TEST_SUITE_P(VirtualAndHidStack, RunningProgramCommandTest,
                         ::testing::Values(e2e::SwitchPath::kVirtual, e2e::SwitchPath::kHidStack));

TEST_P(RunningProgramCommandTest, CommandsGoToTheRunningProgramWhichShowsNoBoxForThem) {
    if (GetParam() == e2e::SwitchPath::kHidStack) {
        static const bool installed = e2e::InstallTestBus();
        ASSERT_TRUE(installed) << "the test bus did not come up";
    }
    e2e::SwitchedProgram program(GetParam(), folder_.Path());
    ASSERT_TRUE(program.Started());
    // Asked while the program starts (a log-on task beside the start at
    // login), the answer waits for its first look for the switch.
    ASSERT_TRUE(e2e::WaitUntil(
        [] {
            return ui::UniqueKernelHandle(OpenMutexA(SYNCHRONIZE, FALSE, kInstanceMutex)) !=
                   nullptr;
        },
        kStartLimit));
    Finished early = Run(kCommandLine, L"--status");
    EXPECT_EQ(early.exitCode, 0u);
    ASSERT_EQ(early.lines.size(), 1u);
    EXPECT_TRUE(early.lines[0].starts_with("{\"connected\":true,")) << early.lines[0];

    const auto isMainWindow = [](HWND window) {
        return GetPropA(window, kMainWindowProperty) != nullptr;
    };
    HWND mainWindow = e2e::WaitForTopWindow(program.ProcessId(), kDialogClass, std::nullopt, true,
                                            kStartLimit, isMainWindow);
    ASSERT_NE(mainWindow, nullptr);
    ASSERT_TRUE(program.WaitForLine(kDeviceTypeAnswer, 0, kStepLimit));

    // Done once the switch reported the port.
    size_t from = program.LineCount();
    Finished port = Run(kCommandLine, L"--port C");
    EXPECT_EQ(port.exitCode, 0u);
    EXPECT_EQ(port.lines, std::vector<std::string>{"Switched to port C."});
    const auto setPort = program.WaitForLine("> 09 04 0B", from, kStepLimit);
    ASSERT_TRUE(setPort);
    EXPECT_EQ(program.Line(*setPort).text, "> 09 04 0B 02 02 00 00 00");
    EXPECT_TRUE(program.WaitForLine("< 09 04 02 00 02 02", *setPort, kStepLimit));

    Finished status = Run(kCommandLine, L"--status");
    EXPECT_EQ(status.exitCode, 0u);
    EXPECT_EQ(status.lines,
              std::vector<std::string>{
                  "{\"connected\":true,\"model\":\"Pelorandix Type C1\",\"port\":\"C\","
                  "\"secondPort\":\"C\",\"firmwareVersion\":\"1.10\",\"hardwareRevision\":"
                  "\"00001012\",\"serialNumber\":\"1A2B3C4D\",\"rotating\":false}"});

    // Unplugged: the failure goes to the caller, not into a message box.
    ASSERT_EQ(program.Command("unplug", kStepLimit), "ok");
    Finished failed = Run(kCommandLine, L"--port A");
    EXPECT_EQ(failed.exitCode, 1u);
    EXPECT_EQ(failed.lines, std::vector<std::string>{"pelorandix: no switch is connected"});
    EXPECT_EQ(e2e::FindTopWindows(program.ProcessId(), kDialogClass, std::nullopt, true),
              std::vector<HWND>{mainWindow});
    EXPECT_TRUE(program.IsRunning());
}

TEST_F(CommandLineTest, WithNoProgramRunningTheCommandTakesTheSwitchItselfAndEnds) {
    Finished port = Run(kCommandLineVirtual, L"--port D");
    // Ended by itself, having set the port: nothing of it stays.
    EXPECT_EQ(port.exitCode, 0u) << "still running, or failed";
    EXPECT_TRUE(Contains(port.lines, "> 09 04 0B 03 03 00 00 00"));
    EXPECT_TRUE(Contains(port.lines, "< 09 04 02 00 03 03 00 00"));
    EXPECT_TRUE(Contains(port.lines, "Switched to port D."));

    Finished wrong = Run(kCommandLine, L"--port E");
    EXPECT_EQ(wrong.exitCode, 2u);
    EXPECT_EQ(wrong.lines, (std::vector<std::string>{"pelorandix: 'E' is no port: use A-D or 1-4",
                                                     "Try 'pelorandix --help'."}));
}

}  // namespace
