#include "hid/win32/serving_sleep.h"

#include <windows.h>

#include <algorithm>
#include <chrono>

#include "hid/win32/window_carrier.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs the messages other threads have sent to this thread's windows (the
// readers' hand-overs, the system's device-change broadcasts), and nothing
// posted.
void ServeSentMessages() {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

// The simulated bus posts its device changes to the hidden window.
void ServePostedDeviceChanges() {
    MSG message;
    while (PeekMessageA(&message, nullptr, kIowKit2DeviceChangeMessage, kIowKit2DeviceChangeMessage,
                        PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

}  // namespace

void IowKit2SleepServingHandOvers(unsigned milliseconds, const std::function<bool()>& done) {
    if (milliseconds < kIowKit2LookMilliseconds) {
        // When this thread last took the sent messages.
        thread_local ULONGLONG lastLook = 0;
        Sleep(milliseconds);
        const ULONGLONG now = GetTickCount64();
        if (IowKit2HandOverWaiting() || now - lastLook >= kIowKit2LookMilliseconds) {
            ServeSentMessages();
            lastLook = now;
        }
        return;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        ServeSentMessages();
        ServePostedDeviceChanges();
        if (done && done()) {
            return;
        }
        // Rounded up, so the wait is never shorter than asked.
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return;
        }
        MsgWaitForMultipleObjectsEx(
            0, nullptr, static_cast<DWORD>(std::min<long long>(left, kIowKit2LookMilliseconds)),
            QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    }
}
