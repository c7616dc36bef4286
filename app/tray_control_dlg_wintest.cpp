// The main window built for real, with the virtual switch on the simulated
// bus carried by the layer's hidden window: the tray menu as the switch's
// answers leave it, the hotkeys really registered, hiding instead of closing,
// and a language module supplying the menu and strings.
#include "app/tray_control_dlg_win32.h"

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/testing/driven_tray_dlg_win32.h"
#include "hid/platform.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/virtual_switch.h"
#include "hid/win32/install.h"
#include "resources/resource.h"
#include "settings/settings_file.h"
#include "settings/test_files.h"
#include "ui/resource_module_win32.h"

namespace {

std::string MenuText(HMENU menu, UINT id) {
    char text[128] = "";
    GetMenuStringA(menu, id, text, sizeof text, MF_BYCOMMAND);
    return text;
}

std::string Caption(HWND window) {
    char text[128] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

UINT MenuState(HMENU menu, UINT id) {
    return GetMenuState(menu, id, MF_BYCOMMAND);
}

class TrayControlDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bus_ = hidsim::Bus::Make(hidsim::Clock::kReal);
        hidsim::SwitchOptions options;
        options.port = 2;
        options.deviceType = 3;
        switch_ = hidsim::VirtualSwitch::Make(bus_, options);
        switch_->Plug();
        IowKit2InstallPlatform(bus_->MakePlatform());
        IowKit2InstallWindowCarrier();
    }
    void TearDown() override {
        IowKit2Shutdown();
        ui::SetActiveResourceModule(nullptr);
    }

    TempFolder folder_;
    WorkingDirectoryScope inFolder_{folder_.Path()};
    std::shared_ptr<hidsim::Bus> bus_;
    std::shared_ptr<hidsim::VirtualSwitch> switch_;
};

TEST_F(TrayControlDlgTest, MenuShowsTheSwitchHotkeysRegisterAndClosingHides) {
    HotkeyTable table = DefaultHotkeyTable();
    table.entries[0].keyCode = 'K';
    table.entries[0].modifiers = 0x06;  // Ctrl + Alt
    SetEntryName(table.entries[0], "Office");
    table.entries[1].keyCode = VK_F9;
    table.entries[1].modifiers = 0x0E;  // Ctrl + Alt + extended: the flag is no modifier
    SetEntryName(table.entries[1], "Lab");
    ASSERT_TRUE(SaveHotkeysAndInterval(table, 3));

    DrivenTrayDlg window;
    HMENU menu = nullptr;
    EXPECT_TRUE(window.Run({
        {[&] {
             menu = window.TrayMenu();
             return menu != nullptr && MenuText(menu, ID_MODEL_NAME) == "Pelorandix Type C1";
         },
         [&] {
             EXPECT_TRUE(MenuState(menu, ID_MODEL_NAME) & MF_GRAYED);
             EXPECT_EQ(MenuText(menu, ID_PORT_A), "Office");
             EXPECT_EQ(MenuText(menu, ID_PORT_B), "Lab");
             EXPECT_EQ(MenuText(menu, ID_PORT_C), "Port C");
             EXPECT_EQ(MenuText(menu, ID_ROTATE), "Rotate");
             MENUITEMINFOA item{};
             item.cbSize = sizeof item;
             item.fMask = MIIM_CHECKMARKS;
             GetMenuItemInfoA(menu, ID_PORT_D, FALSE, &item);
             EXPECT_NE(item.hbmpChecked, nullptr);
             EXPECT_NE(item.hbmpUnchecked, nullptr);
             // Taken already by the window: the same combinations fail.
             EXPECT_FALSE(RegisterHotKey(nullptr, 0x100, MOD_CONTROL | MOD_ALT, 'K'));
             EXPECT_FALSE(RegisterHotKey(nullptr, 0x101, MOD_CONTROL | MOD_ALT, VK_F9));
             EXPECT_EQ(window.RotateInterval(), 3);
         }},
        {[&] { return MenuState(menu, ID_PORT_C) & MF_CHECKED; },
         [&] {
             EXPECT_FALSE(MenuState(menu, ID_PORT_A) & MF_CHECKED);
             HWND hwnd = window.GetSafeHwnd();
             HMENU system = GetSystemMenu(hwnd, FALSE);
             EXPECT_EQ(MenuText(system, IDM_ABOUTBOX), "About Hotkeys...");

             // Enter, Escape and another icon's tray message change nothing.
             SendMessageA(hwnd, WM_COMMAND, IDOK, 0);
             SendMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
             EXPECT_EQ(SendMessageA(hwnd, CTrayControlDlg::WM_TRAYNOTIFY, 2, WM_LBUTTONDOWN), 0);
             EXPECT_TRUE(IsWindowVisible(hwnd));

             // The close box hides to the tray; a left click brings it back on top.
             SendMessageA(hwnd, WM_CLOSE, 0, 0);
             EXPECT_TRUE(IsWindow(hwnd));
             EXPECT_FALSE(IsWindowVisible(hwnd));
             EXPECT_EQ(SendMessageA(hwnd, CTrayControlDlg::WM_TRAYNOTIFY, 1, WM_LBUTTONDOWN), 1);
             EXPECT_TRUE(IsWindowVisible(hwnd));
             EXPECT_FALSE(IsIconic(hwnd));
             EXPECT_TRUE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
         }},
    }));
    EXPECT_FALSE(window.TrayIconShown());
}

TEST_F(TrayControlDlgTest, LanguageModuleSuppliesMenuAndStrings) {
    HMODULE german = LoadLibraryExA("app_german_standin.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(german, nullptr);
    ui::SetActiveResourceModule(german);

    DrivenTrayDlg window;
    EXPECT_TRUE(
        window.Run({{nullptr,
                     [&] {
                         HMENU menu = window.TrayMenu();
                         ASSERT_NE(menu, nullptr);
                         EXPECT_EQ(MenuText(menu, ID_ROTATE), "Rotieren");
                         EXPECT_EQ(MenuText(menu, ID_PORT_A), "Anschluss A");
                         HMENU system = GetSystemMenu(window.GetSafeHwnd(), FALSE);
                         EXPECT_EQ(MenuText(system, IDM_ABOUTBOX),
                                   "Info \xFC"
                                   "ber Hotkeys...");
                         // What the module lacks comes from the program.
                         EXPECT_EQ(ui::LoadResourceString(IDS_FIRMWARE_UP_TO_DATE),
                                   "Your Firmware is up-to-date!");
                         EXPECT_EQ(ui::LoadResourceString(IDS_APP_VERSION), "1.0.1");
                         EXPECT_NE(window.PageTabs().HotkeysPage().GetSafeHwnd(), nullptr);
                         PostMessageA(window.GetSafeHwnd(), WM_COMMAND, ID_FIRMWARE_UPGRADE, 0);
                     }},
                    {[&] { return OwnedDialog(window.GetSafeHwnd()) != nullptr; },
                     [&] {
                         HWND dialog = OwnedDialog(window.GetSafeHwnd());
                         EXPECT_EQ(Caption(dialog), "Firmware Upgrade");
                         EXPECT_NE(GetDlgItem(dialog, IDC_CHECK), nullptr);
                         PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                     }},
                    {[&] { return OwnedDialog(window.GetSafeHwnd()) == nullptr; }, nullptr}}));
    FreeLibrary(german);
}

TEST_F(TrayControlDlgTest, ATrayClickWhileADialogIsOpenBringsItToTheFront) {
    DrivenTrayDlg window;
    HWND dialog = nullptr;
    EXPECT_TRUE(window.Run(
        {{nullptr, [&] { PostMessageA(window.GetSafeHwnd(), WM_COMMAND, ID_FIRMWARE_UPGRADE, 0); }},
         {[&] { return (dialog = OwnedDialog(window.GetSafeHwnd())) != nullptr; },
          [&] {
              SetForegroundWindow(window.GetSafeHwnd());
              PostMessageA(window.GetSafeHwnd(), CTrayControlDlg::WM_TRAYNOTIFY,
                           CTrayControlDlg::kTrayIconId, WM_RBUTTONDOWN);
              PostMessageA(window.GetSafeHwnd(), CTrayControlDlg::WM_TRAYNOTIFY,
                           CTrayControlDlg::kTrayIconId, WM_LBUTTONDOWN);
          }},
         // Neither click opened the tray menu; the dialog came to the front.
         {nullptr,
          [&] {
              HWND menu = FindWindowA("#32768", nullptr);
              EXPECT_FALSE(menu != nullptr && IsWindowVisible(menu)) << "the tray menu opened";
              EndMenu();
              EXPECT_EQ(GetForegroundWindow(), dialog);
              PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
          }},
         {[&] { return !IsWindow(dialog); }, nullptr}}));
}

// A shell that is not up yet: the first two adds of the tray icon fail.
class LateShellTrayDlg : public DrivenTrayDlg {
  public:
    LateShellTrayDlg() { trayRetry_.periodMilliseconds = 30; }
    std::vector<DWORD> actions;

  protected:
    bool NotifyTray(DWORD action) override {
        actions.push_back(action);
        return action != NIM_ADD || actions.size() > 2;
    }
};

TEST_F(TrayControlDlgTest, TrayIconIsRetriedUntilTheShellTakesItAndAddedAgainWhenItRestarts) {
    LateShellTrayDlg window;
    EXPECT_TRUE(window.Run({
        {[&] { return window.TrayIconShown(); },
         [&] {
             EXPECT_EQ(window.actions, (std::vector<DWORD>{NIM_ADD, NIM_ADD, NIM_ADD}));
             // Explorer restarted: its new tray knows no icons.
             SendMessageA(window.GetSafeHwnd(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
             EXPECT_EQ(window.actions.size(), 4u);
             EXPECT_TRUE(window.TrayIconShown());
         }},
    }));
    EXPECT_EQ(window.actions.back(), static_cast<DWORD>(NIM_DELETE));
}

}  // namespace
