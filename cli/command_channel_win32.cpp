#include "cli/command_channel_win32.h"

#include <string>

#include "app/program_names.h"
#include "app/remote_channel_win32.h"
#include "ui/handles_win32.h"

namespace cli {
namespace {

// A set-port waits 500 ms before it acts: the request gets ten times that.
constexpr UINT kRequestTimeoutMilliseconds = 5000;

constexpr char kReplyWindowClass[] = "Pelorandix.CommandLineReply";

// A message-only window that keeps the text of the answer `program` sends it.
class ReplyWindow {
  public:
    explicit ReplyWindow(HWND program) : program_(program) {
        static const ATOM windowClass = [] {
            WNDCLASSA definition{};
            definition.lpfnWndProc = &ReplyWindow::Procedure;
            definition.hInstance = GetModuleHandleA(nullptr);
            definition.lpszClassName = kReplyWindowClass;
            return RegisterClassA(&definition);
        }();
        if (windowClass != 0) {
            window_ = CreateWindowExA(0, kReplyWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
            SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            // Run elevated, this process is of a higher integrity than the
            // program, and Windows drops a WM_COPYDATA that comes up from a
            // lower one unless the window lets it in. What it takes is an
            // answer of the program it asked, under the answer's tag.
            ChangeWindowMessageFilterEx(window_, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
        }
    }
    ~ReplyWindow() {
        if (window_ != nullptr) {
            DestroyWindow(window_);
        }
    }
    ReplyWindow(const ReplyWindow&) = delete;
    ReplyWindow& operator=(const ReplyWindow&) = delete;

    HWND Handle() const { return window_; }
    const std::optional<std::string>& Answer() const { return answer_; }

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<ReplyWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (message == WM_COPYDATA && self != nullptr && data != nullptr &&
            reinterpret_cast<HWND>(wParam) == self->program_ &&
            data->dwData == remote::kAnswerTag) {
            self->answer_.emplace(static_cast<const char*>(data->lpData), data->cbData);
            return TRUE;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND program_;
    HWND window_ = nullptr;
    std::optional<std::string> answer_;
};

}  // namespace

bool ProgramInstanceExists() {
    ui::UniqueKernelHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, kInstanceMutexName));
    return mutex != nullptr;
}

std::optional<remote::RemoteAnswer> AskRunningProgram(HWND mainWindow,
                                                      const remote::RemoteRequest& request) {
    ReplyWindow reply(mainWindow);
    if (reply.Handle() == nullptr) {
        return std::nullopt;
    }
    const std::string text = remote::EncodeRequest(request);
    COPYDATASTRUCT data = remote::TextCopyData(remote::kRequestTag, text);
    DWORD_PTR handled = FALSE;
    if (!SendMessageTimeoutA(mainWindow, WM_COPYDATA, reinterpret_cast<WPARAM>(reply.Handle()),
                             reinterpret_cast<LPARAM>(&data), remote::kChannelSendFlags,
                             kRequestTimeoutMilliseconds, &handled) ||
        !handled || !reply.Answer()) {
        return std::nullopt;
    }
    return remote::DecodeAnswer(*reply.Answer());
}

}  // namespace cli
