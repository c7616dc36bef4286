// How a command-line request is carried out on the port commands, by the
// running program and by pelorandix.exe on its own alike.
#pragma once

#include <functional>

#include "app/remote_request.h"

class PortControl;

namespace remote {

// Reasons a command fails.
inline constexpr char kNoSwitchReason[] = "no switch is connected";
inline constexpr char kWriteFailedReason[] = "the switch did not take the command";
inline constexpr char kWindowOpenReason[] =
    "Pelorandix Control Center has a window open; close it and try again";
inline constexpr char kRotationNotStartedReason[] = "the rotation could not be started";
inline constexpr char kStartingReason[] = "Pelorandix Control Center is starting";

// Whether the program can take a request now.
enum class ProgramState {
    // Its first look for the switch has not ended: "no switch" would be wrong.
    kStarting,
    kReady,
    // One of its modal windows is open (perhaps a firmware transfer runs):
    // nothing may change now, the state may be asked for.
    kWindowOpen,
};

// Performs a request as the tray menu does (a port or Rotate through
// OnHotKey, with its wait). `portErrorRaised`: whether the port error came
// up during the request; the desktop keeps it from showing, the caller
// reports it instead.
RemoteAnswer PerformRequest(PortControl& control, const RemoteRequest& request, ProgramState state,
                            const std::function<bool()>& portErrorRaised);

}  // namespace remote
