#include "cli/command_run.h"

#include <optional>

namespace cli {
namespace {

using remote::Command;
using remote::RemoteAnswer;
using remote::RemoteRequest;

// How long a starting program is waited for, how long a set-port waits for
// the switch to report the port, and how often each looks.
constexpr unsigned kStartingLimitMilliseconds = 2000;
constexpr unsigned kConfirmLimitMilliseconds = 3000;
constexpr unsigned kPollMilliseconds = 50;

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

// The answer once the program has started, or its "starting" answer when
// that took too long.
RemoteAnswer PerformOnceStarted(CommandTarget& target, const RemoteRequest& request) {
    RemoteAnswer answer = target.Perform(request);
    for (unsigned waited = 0; answer.starting && waited < kStartingLimitMilliseconds;
         waited += kPollMilliseconds) {
        target.Pause(kPollMilliseconds);
        answer = target.Perform(request);
    }
    return answer;
}

// Nothing once the switch reported `port` after the set-port went out;
// otherwise why not.
std::optional<std::string> WaitForPortReport(CommandTarget& target, const RemoteAnswer& setPort,
                                             uint32_t port) {
    const std::string notConfirmed = "the switch did not confirm port " + remote::PortLetter(port);
    for (unsigned waited = 0;; waited += kPollMilliseconds) {
        const RemoteAnswer status = target.Perform({Command::kStatus});
        // Only a report sent after the set-port counts.
        if (status.portReportsBefore > setPort.portReportsBefore && status.state.port == port) {
            return std::nullopt;
        }
        // The switch went, or the program stopped answering: the answer says which.
        if (!status.state.connected) {
            return status.reason.empty() ? notConfirmed : status.reason;
        }
        if (waited >= kConfirmLimitMilliseconds) {
            return notConfirmed;
        }
        target.Pause(kPollMilliseconds);
    }
}

}  // namespace

int RunCommand(CommandTarget& target, const Options& options, std::ostream& out,
               std::ostream& error) {
    const RemoteAnswer answer = PerformOnceStarted(target, RequestFor(options));
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
    if (const std::optional<std::string> failure =
            WaitForPortReport(target, answer, options.port)) {
        return ReportFailure(*failure, error);
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
