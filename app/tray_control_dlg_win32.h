// The main window: a modal dialog holding the page tabs, the owner of the
// tray icon and its menu, the desktop of the port commands and the switch
// connection, and the only way to end the program (the tray menu's Quit).
// Closing or minimising it hides it to the tray.
#pragma once

#include <windows.h>

#include <string>

#include "app/port_control.h"
#include "settings/my_tab_ctrl_win32.h"
#include "switchlink/desktop.h"
#include "ui/dialog_win32.h"
#include "ui/handles_win32.h"

class CFWUpgradeDlg;

class CTrayControlDlg : public ui::CDialog, private Desktop, public PortControl {
  public:
    // The tray icon's id and callback message (WM_APP + 100).
    static constexpr UINT kTrayIconId = 1;
    static constexpr UINT WM_TRAYNOTIFY = WM_APP + 100;
    // Posted to itself at start, right after the HID layer posted its first
    // scan: handled after that scan, in the order posted.
    static constexpr UINT WM_FIRSTSCANENDED = WM_APP + 101;
    // Posted to itself on a DPI change, handled once the dialog manager has
    // scaled the window's layout.
    static constexpr UINT WM_DPILAYOUTDONE = WM_APP + 102;

    CTrayControlDlg();
    ~CTrayControlDlg() override;

    static const ui::MessageMap* Messages();

    // Tray mouse events: wParam the icon id, lParam the mouse message.
    LRESULT OnTrayNotify(WPARAM iconId, LPARAM mouseMessage);
    void HideToTray();
    void ShowMainWindow();
    void OnQuit();
    void OnFirmwareUpgrade();

    // The loaded tray menu (nullptr when menu 130 could not be loaded).
    HMENU TrayMenu() const { return trayMenu_.get(); }
    bool TrayIconShown() const { return trayIconShown_; }
    CMyTabCtrl& PageTabs() { return pageTabs_; }
    // The desktop the port commands and the switch connection talk through.
    Desktop& GetDesktop() { return *this; }

    // The window message a second start of the program sends to show this
    // window (see app/program_names.h).
    static UINT ShowRequestMessage();

  protected:
    const ui::MessageMap* GetMessageMap() const override { return Messages(); }
    BOOL OnInitDialog() override;
    // Enter and Escape do nothing in the main window.
    void OnOK() override {}
    void OnCancel() override {}
    bool OnUnmappedMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // Adds (NIM_ADD), changes (NIM_MODIFY) or deletes (NIM_DELETE) the tray
    // icon; true on success.
    virtual bool NotifyTray(DWORD action);

    // A first NIM_ADD may fail while the shell is starting (start at login):
    // it is retried this often, this far apart.
    struct TrayRetry {
        unsigned count = 60;
        UINT periodMilliseconds = 2000;
    };
    TrayRetry trayRetry_;

  private:
    LRESULT OnSysCommand(WPARAM command, LPARAM);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnQueryDragIcon(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);
    LRESULT OnHotKeyMessage(WPARAM hotkeyId, LPARAM lParam);
    LRESULT OnFirstScanEnded(WPARAM, LPARAM);
    LRESULT OnTimerMessage(WPARAM timerId, LPARAM);
    LRESULT OnDestroy(WPARAM, LPARAM);
    LRESULT OnWindowPosChanging(WPARAM, LPARAM windowPos);
    LRESULT OnPageTabChange(NMHDR&);
    // The taskbar's theme changed: the tray icon takes the matching look.
    LRESULT OnSettingChange(WPARAM, LPARAM area);
    // A request of pelorandix.exe (see cli/command_channel_win32.h):
    // wParam its reply window, lParam the COPYDATASTRUCT.
    LRESULT OnCopyData(WPARAM replyWindow, LPARAM data);
    // The window moved to a monitor of another DPI (or the DPI changed):
    // wParam the new DPI, lParam the window rectangle Windows suggests.
    // The window icons follow at once, the pages and the art once the
    // dialog manager has scaled the layout.
    LRESULT OnDpiChanged(WPARAM dpi, LPARAM suggested);
    LRESULT OnDpiLayoutDone(WPARAM, LPARAM);
    template <int HotkeyId>
    void OnPortCommand() {
        if (!FirmwareTransferRunning()) {
            OnHotKey(HotkeyId, 0);
        }
    }
    // The firmware transfer's pauses answer messages other programs send (a
    // WM_COMMAND, a WM_HOTKEY): while it runs, no port change, rotate step or
    // system command comes of them.
    bool FirmwareTransferRunning() const;

    // The modal window of ours that is open (a dialog or message box the
    // main window or one of its dialogs owns), or nullptr.
    HWND OpenModalWindow() const;
    void AddAboutItem();
    void AddTrayIcon();
    // The tray icon for the taskbar as it is now: its theme and scaling.
    void LoadTrayIconForTaskbar();
    void LoadTrayMenu();
    void InsertPageTabs();
    // The port items' check marks for the menu's check size at a DPI; kept
    // when they are made for that DPI already.
    void SetPortCheckBitmaps(UINT dpi);
    // The window's big and small icon at a DPI's sizes.
    void SetWindowIcons(UINT dpi);

    // Desktop
    void SleepFor(unsigned milliseconds) override;
    void SleepHandlingReports(unsigned milliseconds, const std::function<bool()>& done) override;
    void SetMenuItemChecked(unsigned commandId, bool checked) override;
    void SetMenuItemText(unsigned commandId, const std::string& text) override;
    void DisableMenuItem(unsigned commandId) override;
    void SendUpdateStatus() override;
    unsigned StartTimer(unsigned requestedId, unsigned periodMilliseconds) override;
    void StopTimer(unsigned timerId) override;
    bool RegisterHotkey(int id, unsigned modifiers, unsigned keyCode) override;
    void UnregisterHotkey(int id) override;
    std::string LoadResourceString(unsigned id) override;
    void ShowMessageBox(const std::string& text, const std::string& caption) override;

    ui::UniqueIcon mainIcon_;
    ui::UniqueIcon smallIcon_;
    ui::UniqueIcon trayIcon_;
    ui::UniqueMenu trayMenu_;
    ui::UniqueBitmap checkedBitmap_;
    ui::UniqueBitmap uncheckedBitmap_;
    UINT checkBitmapsDpi_ = 0;
    CMyTabCtrl pageTabs_;
    bool trayIconShown_ = false;
    // Hidden to the tray: only ShowMainWindow shows the window again.
    bool hiddenToTray_ = false;
    unsigned trayRetriesLeft_ = 0;
    // While a command-line request runs, the port error box is not shown:
    // the caller gets the failure instead.
    bool quietPortErrors_ = false;
    bool portErrorRaised_ = false;
    // Quit is shutting the HID layer down, which answers sent messages
    // meanwhile: requests are no longer taken.
    bool quitting_ = false;
    // The HID layer's first scan has run. Until then a request is answered
    // "starting": "no switch" could be wrong.
    bool firstScanEnded_ = false;
    // The firmware upgrade dialog while it is open.
    CFWUpgradeDlg* upgradeDialog_ = nullptr;
};
