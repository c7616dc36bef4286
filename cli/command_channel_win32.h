// The channel between pelorandix.exe and the running program: a request goes
// to the program's main window in a WM_COPYDATA whose wParam is a reply
// window of the caller; the program performs it at once and, before it
// returns, sends the answer to that window in a WM_COPYDATA of its own. The
// caller waits in SendMessageTimeout, which takes the answer in meanwhile,
// so one call gives the whole exchange and a hung program cannot hold it.
//
// Nothing here waits for the switch: the program answers a set-port once the
// report went out, and the caller asks again (status requests) until the
// switch's port report shows, so the program's thread, which decodes those
// reports, is never blocked by a caller.
#pragma once

#include <windows.h>

#include <optional>

#include "cli/remote_request.h"

namespace cli {

// The running program's main window, nullptr when there is none.
HWND FindRunningProgram();
// Whether the program's single-instance mutex exists: it runs, or starts.
bool ProgramInstanceExists();

// The caller's side: the answer, nothing when none came in time.
std::optional<RemoteAnswer> AskRunningProgram(HWND mainWindow, const RemoteRequest& request);

// The program's side: the request a WM_COPYDATA carries, if it is one, and
// the answer sent back to the request's reply window.
std::optional<RemoteRequest> ReadRequest(const COPYDATASTRUCT* data);
void SendAnswer(HWND replyWindow, HWND mainWindow, const RemoteAnswer& answer);

}  // namespace cli
