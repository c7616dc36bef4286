// One call of pelorandix.exe from its parsed command line to its exit code:
// the command goes to a target (the running program, or the switch taken
// for this call alone), a set-port waits for the switch's port report that
// confirms it, and the result is printed.
#pragma once

#include <ostream>
#include <string>

#include "app/remote_request.h"
#include "cli/options.h"

namespace cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Where the commands go.
class CommandTarget {
  public:
    virtual ~CommandTarget() = default;
    // Performs the request; a target that cannot be reached answers not done
    // with the reason.
    virtual remote::RemoteAnswer Perform(const remote::RemoteRequest& request) = 0;
    // Lets time pass while the switch's reports come in.
    virtual void Pause(unsigned milliseconds) = 0;
};

// Runs a command (not kHelp) on the target, prints its result to `out` and a
// failure's reason to `error`; the exit code. A program that answers it is
// starting is asked again for up to 2 s; a set-port waits up to 3 s for the
// switch's report of the port. Both waits are counted in pauses, so the time
// the target takes to answer comes on top.
int RunCommand(CommandTarget& target, const Options& options, std::ostream& out,
               std::ostream& error);

// A failure's line and exit code.
int ReportFailure(const std::string& reason, std::ostream& error);

// A usage error's lines and exit code.
int ReportUsageError(const UsageError& usage, std::ostream& error);

}  // namespace cli
