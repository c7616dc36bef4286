// The preferences page: start at login, the language of the next start, and
// the attached switch's status beside a picture of the device.
#pragma once

#include <windows.h>

#include "settings/pages_host.h"
#include "ui/dialog_win32.h"

class CMySetPrefserencesDlg : public ui::CDialog {
  public:
    CMySetPrefserencesDlg();

    // The main window, set before the page's window is made.
    void SetTrayDlg(PagesHost* trayDlg) { m_pTrayDlg = trayDlg; }

    static const ui::MessageMap* Messages();

    void OnStartAtLogin();
    void OnLanguageChange();
    // WM_UPDATESTATUS: shows the switch's serial number, revision and
    // firmware version; answers 0.
    LRESULT OnUpdateStatus(WPARAM, LPARAM);

  protected:
    const ui::MessageMap* GetMessageMap() const override { return Messages(); }
    BOOL OnInitDialog() override;

  private:
    LRESULT OnPaint(WPARAM, LPARAM);

    PagesHost* m_pTrayDlg = nullptr;
};
