// The release program and pelorandix.exe meeting switches of pelorandix-bus.exe
// through Wine's own HID stack (hidclass, hid.dll, setupapi, Plug and Play):
// what a cable does to a connection (pulled, plugged back at once, a hundred
// times over, pulled while the machine sleeps) and what a second device does.
// Ports, hotkeys, the command line and firmware over this path are tested with
// the virtual switch's tests, run on both paths.
#include <windows.h>
// clang-format off
#include <tlhelp32.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "settings/test_files.h"
#include "tests/e2e/driver_win32.h"

namespace {

using e2e::ChildProgram;
using e2e::SwitchPath;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr char kCommandLine[] = "pelorandix.exe";
constexpr char kDialogClass[] = "#32770";
constexpr char kMainWindowProperty[] = "Pelorandix.MainWindow";
constexpr char kEnableChannel[] = "> 08 01 03 00 00 00 00 00";
constexpr char kDeviceTypeAnswer[] = "< 09 04 03 00 03";
constexpr char kConnected[] = "{\"connected\":true,";
constexpr int kCableCycles = 100;

constexpr auto kStartLimit = seconds(30);
constexpr auto kStepLimit = seconds(10);
// Long enough for the program to have looked at a change it was told of.
constexpr auto kSettle = milliseconds(1500);

struct Finished {
    std::optional<DWORD> exitCode;
    std::vector<std::string> lines;
};

size_t ThreadCount(DWORD processId) {
    ui::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    size_t count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        count += entry.th32OwnerProcessID == processId;
    }
    return count;
}

// Wine counts no handles (GetProcessHandleCount answers 0): the descriptors
// of the program's Unix process stand for them, found by its command line.
size_t DescriptorCount(const std::string& commandLineMark) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    size_t count = 0;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        const std::string folder = std::string("Z:\\proc\\") + found.cFileName;
        if (!std::isdigit(static_cast<unsigned char>(found.cFileName[0]))) {
            continue;
        }
        std::string commandLine(4096, '\0');
        ui::UniqueKernelHandle file(CreateFileA((folder + "\\cmdline").c_str(), GENERIC_READ,
                                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                                nullptr));
        DWORD got = 0;
        if (file.get() == INVALID_HANDLE_VALUE ||
            !ReadFile(file.get(), commandLine.data(), 4096, &got, nullptr) ||
            commandLine.substr(0, got).find(commandLineMark) == std::string::npos) {
            continue;
        }
        WIN32_FIND_DATAA descriptor{};
        HANDLE descriptors = FindFirstFileA((folder + "\\fd\\*").c_str(), &descriptor);
        for (BOOL next = descriptors != INVALID_HANDLE_VALUE; next;
             next = FindNextFileA(descriptors, &descriptor)) {
            count += descriptor.cFileName[0] != '.';
        }
        FindClose(descriptors);
        break;
    }
    FindClose(search);
    return count;
}

class HidStackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { installed_ = e2e::InstallTestBus(); }

    void Start(std::wstring_view switches = {}) {
        ASSERT_TRUE(installed_) << "the test bus did not come up";
        program_ =
            std::make_unique<e2e::SwitchedProgram>(SwitchPath::kHidStack, folder_.Path(), switches);
        ASSERT_TRUE(program_->Started());
        mainWindow_ = e2e::WaitForTopWindow(
            program_->ProcessId(), kDialogClass, std::nullopt, true, kStartLimit,
            [](HWND window) { return GetPropA(window, kMainWindowProperty) != nullptr; });
        ASSERT_NE(mainWindow_, nullptr) << "the main window did not show";
        ASSERT_TRUE(program_->WaitForLine(kDeviceTypeAnswer, 0, kStepLimit))
            << "the switch was not taken";
    }

    Finished Run(std::wstring_view arguments) {
        ChildProgram command(folder_.Path() / kCommandLine, folder_.Path(), arguments);
        Finished finished{command.WaitForExit(kStartLimit), {}};
        EXPECT_TRUE(command.WaitForOutputEnd(kStepLimit));
        for (const e2e::OutputLine& line : command.Lines()) {
            finished.lines.push_back(line.text);
        }
        return finished;
    }

    bool Connected() {
        const Finished status = Run(L"--status");
        return status.exitCode == 0u && !status.lines.empty() &&
               status.lines[0].starts_with(kConnected);
    }

    // Lines from `from` on that start with `prefix`.
    size_t Count(std::string_view prefix, size_t from = 0) const {
        const std::vector<e2e::OutputLine> lines = program_->Lines();
        return static_cast<size_t>(std::count_if(
            lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end(),
            [&](const e2e::OutputLine& line) { return line.text.starts_with(prefix); }));
    }

    void Command(std::string_view line) {
        ASSERT_EQ(program_->Command(line, kStepLimit).value_or("no reply").substr(0, 2), "ok")
            << line;
    }

    void TearDown() override {
        if (HasFailure() && program_) {
            std::cout << "last lines of the switch's wire log:\n";
            const std::vector<e2e::OutputLine> lines = program_->Lines();
            for (size_t at = lines.size() > 40 ? lines.size() - 40 : 0; at < lines.size(); ++at) {
                std::cout << "  " << lines[at].text << "\n";
            }
        }
        program_.reset();
    }

    static inline bool installed_ = false;
    TempFolder folder_;
    std::unique_ptr<e2e::SwitchedProgram> program_;
    HWND mainWindow_ = nullptr;
};

TEST_F(HidStackTest, PulledPluggedBackAtOnceAHundredTimesAndDuringSleepTheSwitchIsTakenAgain) {
    Start();
    ASSERT_TRUE(Connected());
    // Pulled while idle, with the readers' reads pending: no switch.
    Command("unplug");
    EXPECT_TRUE(e2e::WaitUntil([&] { return !Connected(); }, kStepLimit));

    // Plugged back at once after a pull: taken again on fresh handles.
    size_t from = program_->LineCount();
    Command("plug");
    ASSERT_TRUE(program_->WaitForLine(kDeviceTypeAnswer, from, kStepLimit));
    from = program_->LineCount();
    Command("unplug");
    Command("plug");
    ASSERT_TRUE(program_->WaitForLine(kDeviceTypeAnswer, from, kStepLimit));
    Finished port = Run(L"--port B");
    EXPECT_EQ(port.exitCode, 0u);

    // A hundred pulls and plugs leave the program's threads and handles
    // where they were after the first.
    const size_t threads = ThreadCount(program_->ProcessId());
    const std::string mark = (folder_.Path() / "PelorandixControlCenter.exe").string();
    const size_t descriptors = DescriptorCount(mark.substr(mark.find_last_of('\\') - 8));
    from = program_->LineCount();
    for (int cycle = 0; cycle < kCableCycles; ++cycle) {
        Command("unplug");
        Command("plug");
    }
    ASSERT_TRUE(e2e::WaitUntil([&] { return Count(kDeviceTypeAnswer, from) >= 1; }, kStepLimit));
    ASSERT_TRUE(e2e::WaitUntil(
        [&] {
            // The last wire line; the console's "ok"s come between.
            const std::vector<e2e::OutputLine> lines = program_->Lines();
            const auto wire = std::find_if(lines.rbegin(), lines.rend(), [](const auto& line) {
                return line.text.starts_with("> ") || line.text.starts_with("< ");
            });
            return wire != lines.rend() && wire->text.starts_with(kDeviceTypeAnswer);
        },
        kStepLimit));
    std::this_thread::sleep_for(kSettle);
    EXPECT_TRUE(Connected());
    EXPECT_EQ(ThreadCount(program_->ProcessId()), threads);
    EXPECT_EQ(DescriptorCount(mark.substr(mark.find_last_of('\\') - 8)), descriptors);
    EXPECT_GT(descriptors, 0u);

    // The machine sleeps; the switch goes and comes back meanwhile, as USB
    // devices do; after the resume it works with no user action.
    const auto power = [&](WPARAM event) {
        for (HWND window :
             e2e::FindTopWindows(program_->ProcessId(), kDialogClass, std::nullopt, false)) {
            PostMessageA(window, WM_POWERBROADCAST, event, 0);
        }
    };
    power(PBT_APMSUSPEND);
    Command("unplug");
    Command("plug");
    power(PBT_APMRESUMEAUTOMATIC);
    port = Run(L"--port D");
    EXPECT_EQ(port.exitCode, 0u);
    EXPECT_EQ(port.lines, std::vector<std::string>{"Switched to port D."});
}

TEST_F(HidStackTest, ASecondDeviceIsOpenedButNotTakenAndASecondSwitchOnlyWhenItArrivesAgain) {
    // An IO-Warrior of another kind beside the switch: the layer matches and
    // opens it, the program takes only the switch.
    Start(L"03EB:1A2B3C4D 1500:00000042");
    std::this_thread::sleep_for(kSettle);
    EXPECT_EQ(Count("#2 >"), 0u);

    // A second switch stays unclaimed, also after the first goes, until it
    // arrives again.
    Command("switch 3 03EB 0000BEEF");
    Command("plug");
    std::this_thread::sleep_for(kSettle);
    Command("switch 1");
    Command("unplug");
    EXPECT_TRUE(e2e::WaitUntil([&] { return !Connected(); }, kStepLimit));
    EXPECT_EQ(Count("#3 >"), 0u);
    Command("switch 3");
    Command("unplug");
    Command("plug");
    ASSERT_TRUE(program_->WaitForLine("#3 < 09 04 03 00 03", 0, kStepLimit))
        << "the second switch was not taken when it arrived again";
    const Finished status = Run(L"--status");
    ASSERT_EQ(status.lines.size(), 1u);
    EXPECT_NE(status.lines[0].find("\"serialNumber\":\"0000BEEF\""), std::string::npos)
        << status.lines[0];
}

TEST_F(HidStackTest, WithNoProgramRunningTheCommandTakesTheSwitchThroughTheHidStack) {
    ASSERT_TRUE(installed_) << "the test bus did not come up";
    // The bus and its switch without the program: the release pelorandix.exe
    // takes it for the moment of the command.
    program_ = std::make_unique<e2e::SwitchedProgram>(SwitchPath::kHidStack, folder_.Path());
    ASSERT_TRUE(program_->Started());
    ASSERT_TRUE(program_->WaitForLine(kDeviceTypeAnswer, 0, kStartLimit));
    // That was the program: end it, the switch stays plugged.
    PostMessageA(e2e::WaitForTopWindow(
                     program_->ProcessId(), kDialogClass, std::nullopt, true, kStepLimit,
                     [](HWND window) { return GetPropA(window, kMainWindowProperty) != nullptr; }),
                 WM_COMMAND, 40007, 0);
    ASSERT_EQ(program_->WaitForExit(kStepLimit), 0u);
    const size_t from = program_->LineCount();
    const Finished port = Run(L"--port C");
    EXPECT_EQ(port.exitCode, 0u);
    EXPECT_EQ(port.lines, std::vector<std::string>{"Switched to port C."});
    const auto setPort = program_->WaitForLine("> 09 04 0B", from, kStepLimit);
    ASSERT_TRUE(setPort);
    EXPECT_EQ(program_->Line(*setPort).text, "> 09 04 0B 02 02 00 00 00");
}

}  // namespace
