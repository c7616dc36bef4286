// The firmware upgrade dialog: the switch's current version, Check (ask the
// update server, then pass the new firmware to the switch with progress) and
// Reload (the end command alone). Escape and Enter on no button do nothing;
// the close box closes it. What it does is FirmwareUpgrade; this class is its
// window.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "firmware/http_client_win32.h"
#include "firmware/timer_resolution_win32.h"
#include "firmware/upgrade_check.h"
#include "firmware/upgrade_view.h"
#include "ui/dialog_win32.h"

class CTrayControlDlg;

// The client comes first so it exists before FirmwareUpgrade takes it.
struct UpdateServerConnection {
    WinInetHttpClient updateServer;
};

class CFWUpgradeDlg : public ui::CDialog,
                      private UpdateServerConnection,
                      private UpgradeView,
                      public FirmwareUpgrade {
  public:
    // The tray controller holds the switch connection the dialog works on
    // and the desktop it waits and loads strings through.
    CFWUpgradeDlg(CTrayControlDlg& trayDlg, SwitchConnection& connection, Desktop& desktop);

    static const ui::MessageMap* Messages();

    CTrayControlDlg* m_pTrayDlg;
    // The progress bar, bound to its control.
    ui::CWnd m_progress;

    // From the first record until the outcome is told.
    bool TransferRunning() const { return transferring_; }

  protected:
    const ui::MessageMap* GetMessageMap() const override { return Messages(); }
    void DoDataExchange(ui::DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

  private:
    void OnCheckClicked() { OnCheck(); }
    void OnReloadClicked() { OnReload(); }
    LRESULT OnClose(WPARAM, LPARAM);
    LRESULT OnQueryEndSession(WPARAM, LPARAM);

    // UpgradeView
    void SetProgressRange(int lowest, int highest) override;
    void SetProgressPosition(int position) override;
    void ShowVersion(const std::string& version) override;
    Answer ShowMessage(const std::string& text, const std::string& caption,
                       MessageKind kind) override;
    void TransferStarting() override;
    void TransferEnded() override;
    void TransferFinished() override;

    std::optional<ScopedTimerResolution> timerResolution_;
    bool transferring_ = false;
};
