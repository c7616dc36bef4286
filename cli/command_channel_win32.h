// pelorandix.exe's side of the channel to the running program (its other
// side: app/remote_channel_win32.h). The caller waits in SendMessageTimeout,
// which takes the answer in meanwhile, so one call gives the whole exchange
// and a hung program cannot hold it.
//
// Nothing here waits for the switch: the program answers a set-port once the
// report went out, and the caller asks again (status requests) until the
// switch's port report shows, so the program's thread, which decodes those
// reports, is never blocked by a caller.
#pragma once

#include <windows.h>

#include <optional>

#include "app/remote_request.h"

namespace cli {

// Whether the program's single-instance mutex exists: it runs, or starts.
bool ProgramInstanceExists();

// The caller's side: the answer, nothing when none came in time.
std::optional<remote::RemoteAnswer> AskRunningProgram(HWND mainWindow,
                                                      const remote::RemoteRequest& request);

}  // namespace cli
