// What the portable controller logic asks of the desktop. The tray controller
// implements it with Win32; tests use a recording fake.
#pragma once

#include <functional>
#include <string>

class Desktop {
  public:
    virtual ~Desktop() = default;

    // Blocks the calling thread for a fixed wait; every fixed wait of the
    // program goes through here.
    virtual void SleepFor(unsigned milliseconds) = 0;
    // The same wait, during which the HID layer's hand-overs and device
    // changes (and only they) are handled, so the switch's answers are
    // decoded, and a switch that restarts is let go and taken again, while it
    // lasts: no posted message, input, timer or hotkey runs. A pause of a few
    // milliseconds takes the hand-overs at its end. Ends early once `done`
    // (when given) holds after a hand-over.
    virtual void SleepHandlingReports(unsigned milliseconds, const std::function<bool()>& done) = 0;

    // Tray menu items, addressed by command id.
    virtual void SetMenuItemChecked(unsigned commandId, bool checked) = 0;
    // Replaces the item's text; the item keeps its command id.
    virtual void SetMenuItemText(unsigned commandId, const std::string& text) = 0;
    // Makes the item disabled and grayed.
    virtual void DisableMenuItem(unsigned commandId) = 0;

    // Sends WM_UPDATESTATUS to the preferences page and returns once the page
    // has handled it.
    virtual void SendUpdateStatus() = 0;

    // Starts the main window's timer; returns the id the platform gave it (0 on failure).
    virtual unsigned StartTimer(unsigned requestedId, unsigned periodMilliseconds) = 0;
    virtual void StopTimer(unsigned timerId) = 0;

    // Registers a global hotkey for the main window (modifiers as RegisterHotKey
    // takes them); true on success.
    virtual bool RegisterHotkey(int id, unsigned modifiers, unsigned keyCode) = 0;
    // Withdraws what the main window registered under the id, if anything.
    virtual void UnregisterHotkey(int id) = 0;

    // A string of the active resource module ("" when missing).
    virtual std::string LoadResourceString(unsigned id) = 0;

    // A modal message box with an OK button, owned by the main window; returns
    // when it is closed. While it is open the thread dispatches messages
    // (timers, hotkeys may run inside it).
    virtual void ShowMessageBox(const std::string& text, const std::string& caption) = 0;
};
