// What the firmware upgrade asks of its dialog: the progress bar, the version
// text and message boxes owned by the dialog. (Strings come from the active
// resource module through the desktop.)
#pragma once

#include <string>

class UpgradeView {
  public:
    enum class MessageKind {
        Ok,     // an OK button, no icon
        YesNo,  // Yes and No buttons, no icon
        Error,  // an OK button and the stop icon
    };
    enum class Answer { Ok, Yes, No };

    virtual ~UpgradeView() = default;

    virtual void SetProgressRange(int lowest, int highest) = 0;
    // Shows the position at once: the transfer dispatches no messages.
    virtual void SetProgressPosition(int position) = 0;
    // Shows the firmware version text beside "Current Version:".
    virtual void ShowVersion(const std::string& version) = 0;
    virtual Answer ShowMessage(const std::string& text, const std::string& caption,
                               MessageKind kind) = 0;
    // Bracket the records of a transfer, whose 1 ms pauses need the system
    // timer at 1 ms resolution; nothing else does.
    virtual void TransferStarting() = 0;
    virtual void TransferEnded() = 0;
    // Once the user agreed to an upgrade, before the check tells how it ended
    // (the transfer's outcome, or a download refused before it): input given
    // meanwhile is dropped, and a log-off is no longer held.
    virtual void TransferFinished() {}
};
