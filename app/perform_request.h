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

// Performs a request as the tray menu does (a port or Rotate through
// OnHotKey, with its wait). `windowOpen`: one of the program's modal windows
// is open (perhaps a firmware transfer runs), so nothing may change now.
// `portErrorRaised`: whether the port error came up during the request; the
// desktop keeps it from showing, the caller reports it instead.
RemoteAnswer PerformRequest(PortControl& control, const RemoteRequest& request, bool windowOpen,
                            const std::function<bool()>& portErrorRaised);

}  // namespace remote
