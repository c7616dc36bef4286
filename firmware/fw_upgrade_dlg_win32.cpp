#include "firmware/fw_upgrade_dlg_win32.h"

#include <commctrl.h>

#include "resources/resource.h"

namespace {

// What Windows shows beside the program when a log-off or shut-down waits
// for the transfer.
constexpr wchar_t kShutdownBlockReason[] =
    L"The switch's firmware is being upgraded. Wait until it has finished.";

// Drops the input waiting for this thread: keys, hotkeys, and mouse
// messages in and outside the windows' client areas (caption, close box).
void DropPendingInput() {
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) ||
           PeekMessageA(&message, nullptr, WM_HOTKEY, WM_HOTKEY, PM_REMOVE) ||
           PeekMessageA(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE) ||
           PeekMessageA(&message, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
}

}  // namespace

CFWUpgradeDlg::CFWUpgradeDlg(CTrayControlDlg& trayDlg, SwitchConnection& connection,
                             Desktop& desktop)
    : CDialog(IDD_FIRMWARE_UPGRADE),
      FirmwareUpgrade(connection, desktop, updateServer, static_cast<UpgradeView&>(*this)),
      m_pTrayDlg(&trayDlg) {}

const ui::MessageMap* CFWUpgradeDlg::Messages() {
    using Self = CFWUpgradeDlg;
    static const ui::MessageEntry entries[] = {
        ui::OnCommand<&Self::OnCheckClicked>(IDC_CHECK),
        ui::OnCommand<&Self::OnReloadClicked>(IDC_RELOAD),
        ui::OnMessage<&Self::OnClose>(WM_CLOSE),
        ui::OnMessage<&Self::OnQueryEndSession>(WM_QUERYENDSESSION),
    };
    static const ui::MessageMap map{&CDialog::Messages, entries};
    return &map;
}

void CFWUpgradeDlg::DoDataExchange(ui::DataExchange& exchange) {
    exchange.Text(IDC_CURRENT_VERSION, m_strVersion);
    exchange.Control(IDC_FIRMWARE_PROGRESS, m_progress);
}

BOOL CFWUpgradeDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ShowSwitchVersion();
    return TRUE;
}

LRESULT CFWUpgradeDlg::OnClose(WPARAM, LPARAM) {
    // A close sent while the check runs would end the dialog under it.
    if (Checking()) {
        return 0;
    }
    UpdateData(true);
    EndDialog(IDOK);
    return 0;
}

LRESULT CFWUpgradeDlg::OnQueryEndSession(WPARAM, LPARAM) {
    // Ending the session now could leave the switch with half a firmware.
    return transferring_ ? FALSE : TRUE;
}

void CFWUpgradeDlg::SetProgressRange(int lowest, int highest) {
    SendMessageA(m_progress.GetSafeHwnd(), PBM_SETRANGE32, lowest, highest);
}

void CFWUpgradeDlg::SetProgressPosition(int position) {
    SendMessageA(m_progress.GetSafeHwnd(), PBM_SETPOS, position, 0);
    // The transfer dispatches no messages: paint now.
    UpdateWindow(m_progress.GetSafeHwnd());
}

void CFWUpgradeDlg::ShowVersion(const std::string& version) {
    m_strVersion = version;
    UpdateData(false);
}

UpgradeView::Answer CFWUpgradeDlg::ShowMessage(const std::string& text, const std::string& caption,
                                               MessageKind kind) {
    UINT style = MB_OK;
    if (kind == MessageKind::YesNo) {
        style = MB_YESNO;
    } else if (kind == MessageKind::Error) {
        style = MB_OK | MB_ICONSTOP;
    }
    const int answer = MessageBoxA(GetSafeHwnd(), text.c_str(), caption.c_str(), style);
    if (answer == IDYES) {
        return Answer::Yes;
    }
    return answer == IDNO ? Answer::No : Answer::Ok;
}

void CFWUpgradeDlg::TransferStarting() {
    timerResolution_.emplace();
    transferring_ = true;
    ShutdownBlockReasonCreate(GetSafeHwnd(), kShutdownBlockReason);
}

void CFWUpgradeDlg::TransferEnded() {
    timerResolution_.reset();
}

void CFWUpgradeDlg::TransferFinished() {
    // Clicks and hotkeys given while the transfer ran (on Check, say) are not
    // replayed.
    DropPendingInput();
    ShutdownBlockReasonDestroy(GetSafeHwnd());
    transferring_ = false;
}
