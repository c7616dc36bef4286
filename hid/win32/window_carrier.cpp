#include "hid/win32/window_carrier.h"

#include "hid/win32/event_signal.h"

static_assert(kIowKit2DeviceChangeMessage == WM_DEVICECHANGE);
static_assert(kIowKit2ReportMessage == WM_USER);

namespace {

// Readers inside HandOverReport.
std::atomic<int> handOversWaiting{0};

// Counts a reader in HandOverReport for as long as it waits there.
class HandOverCount {
  public:
    HandOverCount() { ++handOversWaiting; }
    ~HandOverCount() { --handOversWaiting; }
    HandOverCount(const HandOverCount&) = delete;
    HandOverCount& operator=(const HandOverCount&) = delete;
};

// Runs the messages other threads have sent to this thread's windows, and
// nothing posted.
void ServeSentMessages() {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace

bool IowKit2HandOverWaiting() {
    return handOversWaiting.load() > 0;
}

LRESULT CALLBACK IowKit2WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Decoded by hand: mingw's HANDLE_WM_DEVICECHANGE cracker truncates the
    // event data.
    switch (message) {
        case kIowKit2DeviceChangeMessage:
            if (wParam == kIowKit2DevNodesChanged) {
                IowKit2DevicesChanged();
            }
            break;
        case WM_POWERBROADCAST:
            // Devices may have gone and come back while the machine slept,
            // and not every system says so with a device change.
            if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) {
                IowKit2DevicesChanged();
            }
            break;
        case kIowKit2ReportMessage:
            if (lParam != 0) {
                return IowKit2ServeReport(static_cast<unsigned>(wParam),
                                          reinterpret_cast<IowKit2Handle>(lParam));
            }
            break;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

uint32_t IowKit2WindowCarrier::Create() {
    if (ownedWindow_) {
        return ERROR_SUCCESS;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = IowKit2WndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kIowKit2WndClass;
    // Fails harmlessly when an earlier start left the class registered.
    RegisterClassA(&windowClass);

    // A top-level (not message-only) window, so that it receives broadcasts.
    ownedWindow_.reset(CreateWindowExA(WS_EX_TOOLWINDOW, kIowKit2WndClass, kIowKit2WindowName,
                                       WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr));
    if (!ownedWindow_) {
        const DWORD code = GetLastError();
        return code != ERROR_SUCCESS ? code : ERROR_INVALID_WINDOW_HANDLE;
    }
    window_ = ownedWindow_.get();
    return ERROR_SUCCESS;
}

void IowKit2WindowCarrier::Destroy() {
    window_ = nullptr;
    ownedWindow_.reset();
}

void IowKit2WindowCarrier::PostDeviceChange() {
    if (HWND window = window_.load()) {
        PostMessageA(window, kIowKit2DeviceChangeMessage, kIowKit2DevNodesChanged, 0);
    }
}

int IowKit2WindowCarrier::HandOverReport(unsigned pipe, IowKit2Handle device) {
    HWND window = window_.load();
    if (!window) {
        return 0;
    }
    const HandOverCount waiting;
    return static_cast<int>(
        SendMessageA(window, kIowKit2ReportMessage, pipe, reinterpret_cast<LPARAM>(device)));
}

std::unique_ptr<IowKit2Signal> IowKit2WindowCarrier::CreateSignal() {
    return IowKit2EventSignal::Create();
}

void IowKit2WindowCarrier::WaitServingHandOvers(IowKit2Signal& signal) {
    HANDLE event = IowKit2EventSignal::EventOf(signal);
    while (event) {
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(1, &event, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) {
            return;
        }
        if (woken != WAIT_OBJECT_0 + 1) {
            break;  // the wait itself failed: poll below
        }
        ServeSentMessages();
    }
    // A signal of another kind, or a failing wait: poll it, still serving.
    while (!signal.IsRaised()) {
        ServeSentMessages();
        Sleep(1);
    }
}
