#include "cli/one_shot_win32.h"

#include <windows.h>

#include <chrono>

#include "app/perform_request.h"
#include "hid/iowkit2.h"

namespace cli {
namespace {

// How long a switch found may take to answer the questions the connection
// asks it on arrival.
constexpr unsigned kFirstAnswersLimitMilliseconds = 1000;

// Dispatches the thread's messages (the layer's hidden window) until `done`
// holds or the time is up.
void DispatchMessagesFor(unsigned milliseconds, const std::function<bool()>& done) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done && done()) {
            return;
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

}  // namespace

void ConsoleDesktop::SleepFor(unsigned milliseconds) {
    Sleep(milliseconds);
}

void ConsoleDesktop::SleepHandlingReports(unsigned milliseconds,
                                          const std::function<bool()>& done) {
    DispatchMessagesFor(milliseconds, done);
}

OneShotTarget::OneShotTarget() {
    layerStarted_ = IowKit2RegisterDeviceCallback(&SwitchConnection::OnDeviceEvent,
                                                  control_.CallbackContext()) == 0;
    if (!layerStarted_) {
        return;
    }
    IowKit2AnnounceUnclaimed();
    // The first scan was posted by the start and runs when the thread next
    // dispatches: once what is queued now is handled, it has ended and the
    // switch, if one is plugged in, is held.
    DispatchMessagesFor(0, nullptr);
    if (!control_.HasSwitch()) {
        return;
    }
    DispatchMessagesFor(kFirstAnswersLimitMilliseconds, [this] {
        return control_.PortAnswerCount() > 0 && control_.VersionAnswerCount() > 0 &&
               control_.DeviceType() != SwitchConnection::kUnknownDeviceType;
    });
}

OneShotTarget::~OneShotTarget() {
    if (layerStarted_) {
        IowKit2Shutdown();
    }
}

remote::RemoteAnswer OneShotTarget::Perform(const remote::RemoteRequest& request) {
    // Reports that arrived since the last look are decoded first.
    DispatchMessagesFor(0, nullptr);
    desktop_.ForgetPortError();
    return remote::PerformRequest(control_, request, remote::ProgramState::kReady,
                                  [this] { return desktop_.PortErrorRaised(); });
}

void OneShotTarget::Pause(unsigned milliseconds) {
    DispatchMessagesFor(milliseconds, nullptr);
}

}  // namespace cli
