#include "cli/command_run.h"

#include <chrono>

namespace cli {
namespace {

using remote::Command;
using remote::RemoteAnswer;
using remote::RemoteRequest;

// How long a set-port waits for the switch to report the port, and how
// often it looks.
constexpr auto kConfirmLimit = std::chrono::seconds(3);
constexpr unsigned kConfirmPollMilliseconds = 50;

constexpr char kErrorPrefix[] = "pelorandix: ";

RemoteRequest RequestFor(const Options& options) {
    switch (options.action) {
        case Action::kSetPort:
            return {Command::kSetPort, options.port};
        case Action::kRotate:
            return {Command::kRotate};
        default:
            return {Command::kStatus};
    }
}

// Whether the switch reported `port` after the set-port went out.
bool WaitForPortReport(CommandTarget& target, const RemoteAnswer& setPort, uint32_t port) {
    const auto deadline = std::chrono::steady_clock::now() + kConfirmLimit;
    for (;;) {
        const RemoteAnswer status = target.Perform({Command::kStatus});
        if (status.portReportsBefore > setPort.portReportsBefore && status.state.port == port) {
            return true;
        }
        if (!status.state.connected || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        target.Pause(kConfirmPollMilliseconds);
    }
}

}  // namespace

int RunCommand(CommandTarget& target, const Options& options, std::ostream& out,
               std::ostream& error) {
    const RemoteAnswer answer = target.Perform(RequestFor(options));
    if (options.action == Action::kStatus) {
        out << remote::StateJson(answer.state) << std::endl;
        return answer.done ? kExitDone : ReportFailure(answer.reason, error);
    }
    if (!answer.done) {
        return ReportFailure(answer.reason, error);
    }
    if (options.action == Action::kRotate) {
        out << (answer.state.rotating ? "Rotation started." : "Rotation stopped.") << std::endl;
        return kExitDone;
    }
    if (!WaitForPortReport(target, answer, options.port)) {
        return ReportFailure("the switch did not confirm port " + remote::PortLetter(options.port),
                             error);
    }
    out << "Switched to port " << remote::PortLetter(options.port) << "." << std::endl;
    return kExitDone;
}

int ReportFailure(const std::string& reason, std::ostream& error) {
    error << kErrorPrefix << reason << std::endl;
    return kExitFailed;
}

int ReportUsageError(const UsageError& usage, std::ostream& error) {
    error << kErrorPrefix << usage.text << "\nTry 'pelorandix --help'." << std::endl;
    return kExitUsage;
}

}  // namespace cli
