// The window base of the dialog framework: a window handle, the class's
// message table, and subclassing for controls that handle messages of their
// own (the tab control).
#pragma once

#include <windows.h>

#include "ui/message_map_win32.h"

namespace ui {

class CWnd {
  public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return hwnd_; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(hwnd_, id); }

    // Routes an existing window's messages through this object's table
    // (messages it does not take go on to the window's own procedure).
    bool SubclassWindow(HWND window);

    static const MessageMap* Messages();

  protected:
    virtual const MessageMap* GetMessageMap() const { return Messages(); }

    // Called for a message no table entry takes; true when it was handled.
    virtual bool OnUnmappedMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Inside a handler: lets the message's default processing run (at once
    // for a subclassed control, after the handler returns for a dialog).
    LRESULT Default();

    // Runs the table's handler for a message; false when none takes it or
    // the handler asked for the default processing.
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    HWND hwnd_ = nullptr;

  private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);

    bool subclassed_ = false;
    // The message being handled, for Default().
    UINT message_ = 0;
    WPARAM wParam_ = 0;
    LPARAM lParam_ = 0;
    bool defaultRequested_ = false;
};

}  // namespace ui
