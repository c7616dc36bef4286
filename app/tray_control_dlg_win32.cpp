#include "app/tray_control_dlg_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/hotkey_repeats_win32.h"
#include "app/perform_request.h"
#include "app/port_check_bitmaps_win32.h"
#include "app/program_names.h"
#include "app/remote_channel_win32.h"
#include "app/tray_icon_look_win32.h"
#include "firmware/fw_upgrade_dlg_win32.h"
#include "hid/iowkit2.h"
#include "hid/win32/serving_sleep.h"
#include "resources/resource.h"
#include "settings/settings_file.h"
#include "ui/dpi_win32.h"
#include "ui/resource_module_win32.h"

namespace {

// The tray icon's tip and the notification record's flags (message, icon, tip).
constexpr char kTrayTip[] = "Hotkeys";
constexpr UINT kTrayIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
// The tray icon is retried every 2 s for 2 minutes when the shell is not up.
constexpr UINT_PTR kTrayRetryTimerId = 2;

// The tray popup: left edge at the cursor's x, bottom edge at its y,
// tracking the right button.
constexpr UINT kTrayMenuFlags = TPM_RIGHTBUTTON | TPM_BOTTOMALIGN;

constexpr char kMenuLoadError[] = "Unabled to load Menu";
constexpr char kApplicationTitle[] = "Pelorandix Control Center";

NOTIFYICONDATAA TrayIconData(HWND window, UINT callbackMessage, HICON icon) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = window;
    data.uID = CTrayControlDlg::kTrayIconId;
    data.uFlags = kTrayIconFlags;
    data.uCallbackMessage = callbackMessage;
    data.hIcon = icon;
    lstrcpynA(data.szTip, kTrayTip, sizeof data.szTip);
    return data;
}

UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

}  // namespace

CTrayControlDlg::CTrayControlDlg()
    : CDialog(IDD_TRAYCONTROL_DIALOG), PortControl(static_cast<Desktop&>(*this)) {
    mainIcon_ = ui::LoadResourceIcon(IDR_MAINFRAME, GetSystemMetrics(SM_CXICON));
    smallIcon_ = ui::LoadResourceIcon(IDR_MAINFRAME, GetSystemMetrics(SM_CXSMICON));
    LoadTrayIconForTaskbar();
}

CTrayControlDlg::~CTrayControlDlg() = default;

UINT CTrayControlDlg::ShowRequestMessage() {
    static const UINT message = RegisterWindowMessageA(kShowMainWindowMessageName);
    return message;
}

const ui::MessageMap* CTrayControlDlg::Messages() {
    using Self = CTrayControlDlg;
    static const ui::MessageEntry entries[] = {
        ui::OnMessage<&Self::OnSysCommand>(WM_SYSCOMMAND),
        ui::OnMessage<&Self::OnPaint>(WM_PAINT),
        ui::OnMessage<&Self::OnQueryDragIcon>(WM_QUERYDRAGICON),
        ui::OnMessage<&Self::OnClose>(WM_CLOSE),
        ui::OnMessage<&Self::OnHotKeyMessage>(WM_HOTKEY),
        ui::OnMessage<&Self::OnFirstScanEnded>(WM_FIRSTSCANENDED),
        ui::OnMessage<&Self::OnTimerMessage>(WM_TIMER),
        ui::OnMessage<&Self::OnTrayNotify>(WM_TRAYNOTIFY),
        ui::OnMessage<&Self::OnSettingChange>(WM_SETTINGCHANGE),
        ui::OnMessage<&Self::OnDestroy>(WM_DESTROY),
        ui::OnMessage<&Self::OnWindowPosChanging>(WM_WINDOWPOSCHANGING),
        ui::OnMessage<&Self::OnCopyData>(WM_COPYDATA),
        ui::OnMessage<&Self::OnDpiChanged>(WM_DPICHANGED),
        ui::OnMessage<&Self::OnDpiLayoutDone>(WM_DPILAYOUTDONE),
        ui::OnCommand<&Self::OnPortCommand<1>>(ID_PORT_A),
        ui::OnCommand<&Self::OnPortCommand<2>>(ID_PORT_B),
        ui::OnCommand<&Self::OnPortCommand<3>>(ID_PORT_C),
        ui::OnCommand<&Self::OnPortCommand<4>>(ID_PORT_D),
        ui::OnCommand<&Self::OnPortCommand<kRotateHotkeyId>>(ID_ROTATE),
        ui::OnCommand<&Self::OnQuit>(ID_QUIT),
        ui::OnCommand<&Self::OnFirmwareUpgrade>(ID_FIRMWARE_UPGRADE),
        ui::OnNotify<&Self::OnPageTabChange>(IDC_PAGE_TABS, TCN_SELCHANGE),
    };
    static const ui::MessageMap map{&CDialog::Messages, entries};
    return &map;
}

BOOL CTrayControlDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    pageTabs_.SubclassWindow(GetDlgItem(IDC_PAGE_TABS));
    SetPropA(hwnd_, kMainWindowProperty, hwnd_);
    AddAboutItem();
    SetWindowIcons(ui::WindowDpi(hwnd_));
    AddTrayIcon();
    LoadTrayMenu();
    Settings settings;
    if (auto hotkeys = ReadHotkeys()) {
        settings.hotkeys = *hotkeys;
        settings.hotkeysStored = true;
    }
    if (auto language = ReadLanguage()) {
        settings.language = *language;
    }
    if (auto interval = ReadRotateInterval()) {
        settings.rotateInterval = *interval;
    }
    ApplySettings(settings);
    pageTabs_.PreferencesPage().SetTrayDlg(this);
    pageTabs_.HotkeysPage().SetTrayDlg(this);
    InsertPageTabs();
    pageTabs_.InitPages();
    SetPortCheckBitmaps(ui::WindowDpi(hwnd_));
    // The layer's hidden window belongs to this thread; its first scan runs
    // once the dialog's message loop dispatches.
    IowKit2RegisterDeviceCallback(&SwitchConnection::OnDeviceEvent, CallbackContext());
    IowKit2AnnounceUnclaimed();
    PostMessageA(hwnd_, WM_FIRSTSCANENDED, 0, 0);
    return TRUE;
}

void CTrayControlDlg::AddAboutItem() {
    HMENU systemMenu = GetSystemMenu(hwnd_, FALSE);
    if (systemMenu == nullptr) {
        return;
    }
    const std::string about = ui::LoadResourceString(IDS_ABOUTBOX);
    if (!about.empty()) {
        AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
}

bool CTrayControlDlg::NotifyTray(DWORD action) {
    NOTIFYICONDATAA data = TrayIconData(hwnd_, WM_TRAYNOTIFY, trayIcon_.get());
    return Shell_NotifyIconA(action, &data) != FALSE;
}

void CTrayControlDlg::AddTrayIcon() {
    trayIconShown_ = NotifyTray(NIM_ADD);
    if (!trayIconShown_ && trayRetriesLeft_ == 0) {
        trayRetriesLeft_ = trayRetry_.count;
        SetTimer(hwnd_, kTrayRetryTimerId, trayRetry_.periodMilliseconds, nullptr);
    }
}

void CTrayControlDlg::LoadTrayIconForTaskbar() {
    // The shell shows a copy of the icon: the one it shows may go.
    if (ui::UniqueIcon icon = tray::LoadTrayIcon(tray::CurrentTaskbarTheme())) {
        trayIcon_ = std::move(icon);
    }
}

void CTrayControlDlg::LoadTrayMenu() {
    trayMenu_ = ui::LoadResourceMenu(IDR_TRAYMENU);
    if (!trayMenu_) {
        MessageBoxA(hwnd_, kMenuLoadError, kApplicationTitle, MB_OK);
    }
}

void CTrayControlDlg::InsertPageTabs() {
    const UINT tabs[] = {IDS_PREFERENCES_TAB, IDS_HOTKEYS_TAB};
    int index = 0;
    for (UINT id : tabs) {
        std::string text = ui::LoadResourceString(id);
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageA(pageTabs_.GetSafeHwnd(), TCM_INSERTITEMA, index++,
                     reinterpret_cast<LPARAM>(&item));
    }
}

void CTrayControlDlg::SetPortCheckBitmaps(UINT dpi) {
    if (dpi == checkBitmapsDpi_) {
        return;
    }
    PortCheckBitmaps bitmaps = LoadPortCheckBitmaps(dpi);
    if (trayMenu_) {
        for (UINT id = ID_PORT_A; id <= ID_PORT_D; ++id) {
            SetMenuItemBitmaps(trayMenu_.get(), id, MF_BYCOMMAND, bitmaps.unchecked.get(),
                               bitmaps.checked.get());
        }
    }
    // The menu holds the new ones now: the old ones can go.
    checkedBitmap_ = std::move(bitmaps.checked);
    uncheckedBitmap_ = std::move(bitmaps.unchecked);
    checkBitmapsDpi_ = dpi;
}

void CTrayControlDlg::SetWindowIcons(UINT dpi) {
    ui::UniqueIcon big =
        ui::LoadResourceIcon(IDR_MAINFRAME, ui::SystemMetricForDpi(SM_CXICON, dpi));
    ui::UniqueIcon small =
        ui::LoadResourceIcon(IDR_MAINFRAME, ui::SystemMetricForDpi(SM_CXSMICON, dpi));
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    // The window holds the new ones now: the old ones can go.
    mainIcon_ = std::move(big);
    smallIcon_ = std::move(small);
}

LRESULT CTrayControlDlg::OnDpiChanged(WPARAM dpi, LPARAM suggested) {
    CDialog::OnDpiChanged(dpi, suggested);
    SetWindowIcons(HIWORD(dpi));
    // The dialog manager scales the controls and fonts after this handler;
    // the pages and the art follow it then.
    PostMessageA(hwnd_, WM_DPILAYOUTDONE, 0, 0);
    return 0;
}

LRESULT CTrayControlDlg::OnDpiLayoutDone(WPARAM, LPARAM) {
    pageTabs_.RefitPages();
    // The device picture is picked for the page's DPI when it is painted.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return 0;
}

LRESULT CTrayControlDlg::OnSysCommand(WPARAM command, LPARAM) {
    if (FirmwareTransferRunning()) {
        return 0;
    }
    if ((command & 0xFFF0) == IDM_ABOUTBOX) {
        ui::CDialog about(IDD_ABOUTBOX);
        about.DoModal(hwnd_);
    } else if ((command & 0xFFF0) == SC_MINIMIZE) {
        HideToTray();
        ShowWindow(hwnd_, SW_HIDE);
    } else {
        Default();
    }
    return 0;
}

LRESULT CTrayControlDlg::OnPaint(WPARAM, LPARAM) {
    if (!IsIconic(hwnd_)) {
        Default();
        return 0;
    }
    ui::PaintScope paint(hwnd_);
    SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Dc()), 0);
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(paint.Dc(), x, y, mainIcon_.get());
    return 0;
}

LRESULT CTrayControlDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(mainIcon_.get());
}

LRESULT CTrayControlDlg::OnClose(WPARAM, LPARAM) {
    HideToTray();
    return 0;
}

LRESULT CTrayControlDlg::OnHotKeyMessage(WPARAM hotkeyId, LPARAM lParam) {
    if (FirmwareTransferRunning()) {
        return 0;
    }
    OnHotKey(static_cast<int>(hotkeyId), static_cast<unsigned>(lParam));
    DropQueuedHotkeyRepeats(hwnd_, static_cast<int>(hotkeyId));
    return 0;
}

LRESULT CTrayControlDlg::OnFirstScanEnded(WPARAM, LPARAM) {
    firstScanEnded_ = true;
    return 0;
}

LRESULT CTrayControlDlg::OnTimerMessage(WPARAM timerId, LPARAM) {
    if (timerId == kTrayRetryTimerId) {
        if (!trayIconShown_) {
            trayIconShown_ = NotifyTray(NIM_ADD);
        }
        if (trayIconShown_ || --trayRetriesLeft_ == 0) {
            KillTimer(hwnd_, kTrayRetryTimerId);
            trayRetriesLeft_ = 0;
        }
        return 0;
    }
    if (!FirmwareTransferRunning()) {
        OnTimer(static_cast<unsigned>(timerId));
    }
    Default();
    return 0;
}

LRESULT CTrayControlDlg::OnDestroy(WPARAM, LPARAM) {
    RemovePropA(hwnd_, kMainWindowProperty);
    Default();
    return 0;
}

LRESULT CTrayControlDlg::OnWindowPosChanging(WPARAM, LPARAM windowPos) {
    // The modal loop shows the window when its queue first runs empty; a
    // close before that must not be undone by it.
    if (hiddenToTray_) {
        reinterpret_cast<WINDOWPOS*>(windowPos)->flags &= ~SWP_SHOWWINDOW;
    }
    Default();
    return 0;
}

LRESULT CTrayControlDlg::OnSettingChange(WPARAM, LPARAM area) {
    if (tray::IsColorSetChange(area)) {
        LoadTrayIconForTaskbar();
        if (trayIconShown_) {
            NotifyTray(NIM_MODIFY);
        }
    }
    Default();
    return 0;
}

LRESULT CTrayControlDlg::OnPageTabChange(NMHDR&) {
    pageTabs_.ShowSelectedPage();
    return 0;
}

LRESULT CTrayControlDlg::OnCopyData(WPARAM replyWindow, LPARAM data) {
    const std::optional<remote::RemoteRequest> request =
        remote::ReadRequest(reinterpret_cast<const COPYDATASTRUCT*>(data));
    if (!request || quitting_) {
        return FALSE;
    }
    // Performed now, as the tray menu would; a modal window of ours (a
    // firmware transfer answers sent messages in its pauses) lets nothing
    // change.
    remote::ProgramState state = remote::ProgramState::kReady;
    if (!firstScanEnded_) {
        state = remote::ProgramState::kStarting;
    } else if (OpenModalWindow() != nullptr) {
        state = remote::ProgramState::kWindowOpen;
    }
    quietPortErrors_ = true;
    portErrorRaised_ = false;
    const remote::RemoteAnswer answer =
        remote::PerformRequest(*this, *request, state, [this] { return portErrorRaised_; });
    quietPortErrors_ = false;
    remote::SendAnswer(reinterpret_cast<HWND>(replyWindow), hwnd_, answer);
    return TRUE;
}

bool CTrayControlDlg::OnUnmappedMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message == TaskbarCreatedMessage()) {
        // Explorer restarted: its tray knows nothing of our icon any more, and
        // its scaling may have changed meanwhile.
        LoadTrayIconForTaskbar();
        AddTrayIcon();
    } else if (message == ShowRequestMessage()) {
        ShowMainWindow();
    } else {
        return false;
    }
    result = 0;
    return true;
}

HWND CTrayControlDlg::OpenModalWindow() const {
    // A modal window disables its owner; the main window owns them all,
    // directly or through the firmware dialog. The one still enabled is the
    // innermost.
    if (IsWindowEnabled(hwnd_)) {
        return nullptr;
    }
    struct Search {
        HWND mainWindow;
        HWND found = nullptr;
    } search{hwnd_};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM context) {
            auto& search = *reinterpret_cast<Search*>(context);
            if (window == search.mainWindow || !IsWindowVisible(window) ||
                !IsWindowEnabled(window)) {
                return TRUE;
            }
            for (HWND owner = GetWindow(window, GW_OWNER); owner != nullptr;
                 owner = GetWindow(owner, GW_OWNER)) {
                if (owner == search.mainWindow) {
                    search.found = window;
                    return FALSE;
                }
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

LRESULT CTrayControlDlg::OnTrayNotify(WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != kTrayIconId) {
        return 0;
    }
    // While a modal window is open no second one may start from the tray (a
    // Quit or Firmware Upgrade inside it would leave it half ended): a click
    // brings it to the front instead.
    if (HWND modal = OpenModalWindow()) {
        switch (static_cast<UINT>(mouseMessage)) {
            case WM_CONTEXTMENU:
            case WM_RBUTTONDOWN:
            case WM_LBUTTONDOWN:
                SetForegroundWindow(modal);
                break;
            default:
                break;
        }
        return 1;
    }
    switch (static_cast<UINT>(mouseMessage)) {
        case WM_CONTEXTMENU:
        case WM_RBUTTONDOWN: {
            POINT cursor{};
            GetCursorPos(&cursor);
            if (HMENU popup = trayMenu_ ? GetSubMenu(trayMenu_.get(), 0) : nullptr) {
                // The menu opens on the monitor under the cursor, at its DPI.
                SetPortCheckBitmaps(ui::PointDpi(cursor));
                // A popup of a thread that is not in the foreground takes no keys and
                // stays open when the user clicks elsewhere; the window is mostly hidden.
                SetForegroundWindow(hwnd_);
                TrackPopupMenu(popup, kTrayMenuFlags, cursor.x, cursor.y, 0, hwnd_, nullptr);
                // Lets the menu close properly when it is opened again at once.
                PostMessageA(hwnd_, WM_NULL, 0, 0);
            }
            break;
        }
        case WM_LBUTTONDOWN:
            ShowMainWindow();
            break;
        default:
            break;
    }
    return 1;
}

void CTrayControlDlg::HideToTray() {
    hiddenToTray_ = true;
    ShowWindow(hwnd_, SW_MINIMIZE);
    ShowWindow(hwnd_, SW_HIDE);
}

void CTrayControlDlg::ShowMainWindow() {
    hiddenToTray_ = false;
    // Hidden after a minimise: shown again as a normal window, not an icon.
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    // A second start allowed this (AllowSetForegroundWindow) before it asked.
    SetForegroundWindow(hwnd_);
}

bool CTrayControlDlg::FirmwareTransferRunning() const {
    return upgradeDialog_ != nullptr && upgradeDialog_->TransferRunning();
}

void CTrayControlDlg::OnQuit() {
    // Not inside a firmware check (a command sent while it runs): it would
    // go on without the HID layer.
    if (upgradeDialog_ != nullptr && upgradeDialog_->Checking()) {
        return;
    }
    quitting_ = true;
    NotifyTray(NIM_DELETE);
    trayIconShown_ = false;
    if (HasSwitch()) {
        IowKit2Shutdown();
    }
    EndDialog(IDCANCEL);
}

void CTrayControlDlg::OnFirmwareUpgrade() {
    // One upgrade dialog at a time (a command sent while one is open).
    if (upgradeDialog_ != nullptr) {
        return;
    }
    CFWUpgradeDlg dialog(*this, *this, GetDesktop());
    upgradeDialog_ = &dialog;
    dialog.DoModal(hwnd_);
    upgradeDialog_ = nullptr;
}

void CTrayControlDlg::SleepFor(unsigned milliseconds) {
    Sleep(milliseconds);
}

void CTrayControlDlg::SleepHandlingReports(unsigned milliseconds,
                                           const std::function<bool()>& done) {
    IowKit2SleepServingHandOvers(milliseconds, done);
}

void CTrayControlDlg::SetMenuItemChecked(unsigned commandId, bool checked) {
    if (trayMenu_) {
        CheckMenuItem(trayMenu_.get(), commandId,
                      MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    }
}

void CTrayControlDlg::SetMenuItemText(unsigned commandId, const std::string& text) {
    if (!trayMenu_) {
        return;
    }
    // Only the text changes: the item keeps its id, state and check bitmaps.
    std::string copy = text;
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_STRING;
    item.fType = MFT_STRING;
    item.dwTypeData = copy.data();
    SetMenuItemInfoA(trayMenu_.get(), commandId, FALSE, &item);
}

void CTrayControlDlg::DisableMenuItem(unsigned commandId) {
    if (trayMenu_) {
        EnableMenuItem(trayMenu_.get(), commandId, MF_BYCOMMAND | MF_DISABLED | MF_GRAYED);
    }
}

void CTrayControlDlg::SendUpdateStatus() {
    if (HWND page = pageTabs_.PreferencesPage().GetSafeHwnd()) {
        SendMessageA(page, WM_UPDATESTATUS, 0, 0);
    }
}

unsigned CTrayControlDlg::StartTimer(unsigned requestedId, unsigned periodMilliseconds) {
    return static_cast<unsigned>(SetTimer(hwnd_, requestedId, periodMilliseconds, nullptr));
}

void CTrayControlDlg::StopTimer(unsigned timerId) {
    KillTimer(hwnd_, timerId);
}

bool CTrayControlDlg::RegisterHotkey(int id, unsigned modifiers, unsigned keyCode) {
    // A held hotkey arrives once, not once per auto-repeat: each arrival
    // waits half a second, and the repeats would queue up behind it.
    return RegisterHotKey(hwnd_, id, modifiers | MOD_NOREPEAT, keyCode) != FALSE;
}

void CTrayControlDlg::UnregisterHotkey(int id) {
    UnregisterHotKey(hwnd_, id);
}

std::string CTrayControlDlg::LoadResourceString(unsigned id) {
    return ui::LoadResourceString(id);
}

void CTrayControlDlg::ShowMessageBox(const std::string& text, const std::string& caption) {
    if (quietPortErrors_) {
        portErrorRaised_ = true;
        return;
    }
    // The main window is mostly hidden: the box comes to the front itself, or
    // it would stay unseen and, one box at a time, hide every later error.
    MessageBoxA(hwnd_, text.c_str(), caption.c_str(), MB_OK | MB_SETFOREGROUND);
}
