// The running program's side of the channel pelorandix.exe talks through: a
// request comes to the main window in a WM_COPYDATA whose wParam is a reply
// window of the caller; the program performs it at once and, before it
// returns, sends the answer to that window in a WM_COPYDATA of its own.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "app/remote_request.h"

namespace remote {

// Both sides' sends: a window that is gone or hangs is not waited for.
inline constexpr UINT kChannelSendFlags = SMTO_ABORTIFHUNG | SMTO_ERRORONEXIT;

// A WM_COPYDATA record of `text` under `tag`; it points into `text`.
COPYDATASTRUCT TextCopyData(uint32_t tag, const std::string& text);

// The request a WM_COPYDATA carries, if it is one.
std::optional<RemoteRequest> ReadRequest(const COPYDATASTRUCT* data);
// Sends the answer to the request's reply window.
void SendAnswer(HWND replyWindow, HWND mainWindow, const RemoteAnswer& answer);

}  // namespace remote
