#include "cli/command_line_win32.h"

#include <windows.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "app/main_window_search_win32.h"
#include "cli/command_channel_win32.h"
#include "cli/command_run.h"
#include "cli/one_shot_win32.h"

namespace cli {
namespace {

// A program that holds its mutex but shows no main window yet is starting:
// it gets this long to create the window.
constexpr auto kProgramStartLimit = std::chrono::seconds(3);
constexpr auto kProgramStartPoll = std::chrono::milliseconds(50);

constexpr char kNoAnswerReason[] = "Pelorandix Control Center does not answer";
constexpr char kRotationNeedsProgramReason[] =
    "the rotation runs in Pelorandix Control Center, which is not running";

class RunningProgramTarget final : public CommandTarget {
  public:
    explicit RunningProgramTarget(HWND mainWindow) : mainWindow_(mainWindow) {}

    remote::RemoteAnswer Perform(const remote::RemoteRequest& request) override {
        if (std::optional<remote::RemoteAnswer> answer = AskRunningProgram(mainWindow_, request)) {
            return *answer;
        }
        remote::RemoteAnswer none;
        none.reason = kNoAnswerReason;
        return none;
    }
    void Pause(unsigned milliseconds) override { Sleep(milliseconds); }

  private:
    HWND mainWindow_;
};

HWND WaitForStartingProgram() {
    const auto deadline = std::chrono::steady_clock::now() + kProgramStartLimit;
    HWND window = nullptr;
    while (window == nullptr && ProgramInstanceExists() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kProgramStartPoll);
        window = FindProgramMainWindow();
    }
    return window;
}

}  // namespace

int RunCommandLine(int argc, char* argv[], const std::function<void()>& installLayer) {
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto parsed = ParseOptions(arguments);
    if (const auto* usage = std::get_if<UsageError>(&parsed)) {
        return ReportUsageError(*usage, std::cerr);
    }
    const Options& options = std::get<Options>(parsed);
    if (options.action == Action::kHelp) {
        std::cout << UsageText() << std::flush;
        return kExitDone;
    }

    HWND mainWindow = FindProgramMainWindow();
    if (mainWindow == nullptr && ProgramInstanceExists()) {
        mainWindow = WaitForStartingProgram();
        if (mainWindow == nullptr) {
            return ReportFailure(kNoAnswerReason, std::cerr);
        }
    }
    if (mainWindow != nullptr) {
        RunningProgramTarget program(mainWindow);
        return RunCommand(program, options, std::cout, std::cerr);
    }
    // The rotation's timer lives in the program; this call ends at once.
    if (options.action == Action::kRotate) {
        return ReportFailure(kRotationNeedsProgramReason, std::cerr);
    }
    installLayer();
    OneShotTarget alone;
    return RunCommand(alone, options, std::cout, std::cerr);
}

}  // namespace cli
