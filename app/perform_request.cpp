#include "app/perform_request.h"

#include "app/port_control.h"

namespace remote {

RemoteAnswer PerformRequest(PortControl& control, const RemoteRequest& request, ProgramState state,
                            const std::function<bool()>& portErrorRaised) {
    RemoteAnswer answer;
    answer.portReportsBefore = control.PortAnswerCount();
    answer.done = true;
    if (state == ProgramState::kStarting) {
        answer.done = false;
        answer.starting = true;
        answer.reason = kStartingReason;
    } else if (request.command != Command::kStatus && state == ProgramState::kWindowOpen) {
        answer.done = false;
        answer.reason = kWindowOpenReason;
    } else if (request.command == Command::kSetPort) {
        control.OnHotKey(PortControl::kFirstPortHotkeyId + static_cast<int>(request.port), 0);
        if (portErrorRaised()) {
            answer.done = false;
            answer.reason = control.HasSwitch() ? kWriteFailedReason : kNoSwitchReason;
        }
    } else if (request.command == Command::kRotate) {
        const bool wasRotating = control.IsRotating();
        // Stopping always works; a rotation without a switch would only
        // raise errors.
        if (!wasRotating && !control.HasSwitch()) {
            answer.done = false;
            answer.reason = kNoSwitchReason;
        } else {
            control.OnHotKey(PortControl::kRotateHotkeyId, 0);
            answer.done = control.IsRotating() != wasRotating;
            if (!answer.done) {
                answer.reason = kRotationNotStartedReason;
            }
        }
    } else if (!control.HasSwitch()) {
        answer.done = false;
        answer.reason = kNoSwitchReason;
    }
    answer.state = DescribeSwitch(control);
    return answer;
}

}  // namespace remote
