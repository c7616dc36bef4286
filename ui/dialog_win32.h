// The dialog base: runs modally or as a modeless child page, from a template
// of the active resource module. `this` lives in the window's DWLP_USER from
// WM_INITDIALOG to WM_NCDESTROY; messages go through the class's table.
#pragma once

#include <windows.h>

#include <string>

#include "ui/window_win32.h"

namespace ui {

// Moves values between a dialog's controls and its members: to the
// controls, or back from them when saving.
class DataExchange {
  public:
    DataExchange(HWND dialog, bool saving) : dialog_(dialog), saving_(saving) {}
    bool Saving() const { return saving_; }

    void Text(int controlId, std::string& value);
    // Binds a control window to a member object, once.
    void Control(int controlId, CWnd& control);

  private:
    HWND dialog_;
    bool saving_;
};

// A window's text, or "" when it has none.
std::string WindowText(HWND window);

class CDialog : public CWnd {
  public:
    explicit CDialog(UINT templateId) : templateId_(templateId) {}
    // Destroys a page window that is still open.
    ~CDialog() override;

    // Runs the dialog modally; its result, or -1 when it could not be made.
    INT_PTR DoModal(HWND owner = nullptr);
    // Creates the dialog as a modeless child of parent; runs its initialisation.
    bool Create(HWND parent);
    void EndDialog(INT_PTR result);

    // Controls to members (saving) or members to controls.
    void UpdateData(bool saving);

    static const MessageMap* Messages();

  protected:
    const MessageMap* GetMessageMap() const override { return Messages(); }

    // After the controls exist: exchanges data to them. The result is the
    // dialog's WM_INITDIALOG answer (TRUE: default focus).
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(DataExchange&) {}
    // Enter and Escape: end the dialog with IDOK (after saving data) or IDCANCEL.
    virtual void OnOK();
    virtual void OnCancel();
    // WM_DPICHANGED of a top-level dialog (moved to a monitor of another
    // DPI): takes the rectangle Windows suggests; the dialog manager scales
    // the layout and fonts in its default handling.
    LRESULT OnDpiChanged(WPARAM dpi, LPARAM suggested);

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    UINT templateId_;
    bool modeless_ = false;
};

}  // namespace ui
