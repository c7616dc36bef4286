// What the portable controller logic asks of the desktop. The tray controller
// implements it with Win32; tests use a recording fake.
#pragma once

#include <string>

class Desktop {
  public:
    virtual ~Desktop() = default;

    // Blocks the calling thread for a fixed wait; every fixed wait of the
    // program goes through here.
    virtual void SleepFor(unsigned milliseconds) = 0;

    // Tray menu items, addressed by command id.
    virtual void SetMenuItemChecked(unsigned commandId, bool checked) = 0;
    // Replaces the item's text; the item keeps its command id.
    virtual void SetMenuItemText(unsigned commandId, const std::string& text) = 0;
    // Makes the item disabled and grayed.
    virtual void DisableMenuItem(unsigned commandId) = 0;

    // Sends WM_UPDATESTATUS to the preferences page and returns once the page
    // has handled it.
    virtual void SendUpdateStatus() = 0;
};
