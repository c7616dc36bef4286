#include "app/remote_channel_win32.h"

namespace remote {
namespace {

// The caller waits for the answer inside its own send.
constexpr UINT kAnswerTimeoutMilliseconds = 2000;

}  // namespace

COPYDATASTRUCT TextCopyData(uint32_t tag, const std::string& text) {
    return {tag, static_cast<DWORD>(text.size()), const_cast<char*>(text.data())};
}

std::optional<RemoteRequest> ReadRequest(const COPYDATASTRUCT* data) {
    if (data == nullptr || data->dwData != kRequestTag || data->lpData == nullptr) {
        return std::nullopt;
    }
    return DecodeRequest(std::string_view(static_cast<const char*>(data->lpData), data->cbData));
}

void SendAnswer(HWND replyWindow, HWND mainWindow, const RemoteAnswer& answer) {
    const std::string text = EncodeAnswer(answer);
    COPYDATASTRUCT data = TextCopyData(kAnswerTag, text);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(replyWindow, WM_COPYDATA, reinterpret_cast<WPARAM>(mainWindow),
                        reinterpret_cast<LPARAM>(&data), kChannelSendFlags,
                        kAnswerTimeoutMilliseconds, &ignored);
}

}  // namespace remote
