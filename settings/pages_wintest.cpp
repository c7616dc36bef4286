// The two settings pages inside the real main window, with the virtual switch
// on the simulated bus: switching tabs, the hotkeys page's fields, marks, interval
// and Save, the preferences page's status, language list, start at login and
// picture, the picture and the menu's check marks at the display's DPI.
// Settings go to a file in a fresh working folder; the Run value and the DPI
// are put back as they were.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/testing/driven_tray_dlg_win32.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/virtual_switch.h"
#include "hid/win32/install.h"
#include "resources/resource.h"
#include "settings/settings_file.h"
#include "settings/start_at_login_win32.h"
#include "settings/test_files.h"
#include "ui/dialog_win32.h"
#include "ui/testing/log_pixels_scope_win32.h"

namespace {

constexpr COLORREF kMagenta = RGB(255, 0, 255);

std::string ItemText(HWND dialog, int id) {
    return ui::WindowText(GetDlgItem(dialog, id));
}

std::string MenuText(HMENU menu, UINT id) {
    char text[128] = "";
    GetMenuStringA(menu, id, text, sizeof text, MF_BYCOMMAND);
    return text;
}

std::string TabText(HWND tabs, int index) {
    char text[64] = "";
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(tabs, TCM_GETITEMA, index, reinterpret_cast<LPARAM>(&item));
    return text;
}

// A left click in the middle of a tab, as the mouse sends it to the control.
void ClickTab(HWND tabs, int index) {
    RECT item{};
    TabCtrl_GetItemRect(tabs, index, &item);
    const LPARAM point = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageA(tabs, WM_LBUTTONUP, 0, point);
}

bool FocusInside(HWND page) {
    HWND focus = GetFocus();
    return focus != nullptr && (focus == page || IsChild(page, focus));
}

// The raw value of a key in the settings file, as the profile functions read it.
std::string SettingsLine(const char* key) {
    char value[512] = "";
    GetPrivateProfileStringA("Settings", key, "", value, sizeof value, kSettingsFilePath);
    return value;
}

// The Run value "Pelorandix" of the current user: its data, or nothing.
std::optional<std::string> RunValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    char data[MAX_PATH + 1] = "";
    DWORD size = sizeof data - 1;
    const LSTATUS status = RegQueryValueExA(key, kRunValueName, nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::string(data);
}

void PutRunValue(const std::optional<std::string>& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kRunKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    if (data) {
        RegSetValueExA(key, kRunValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data->c_str()),
                       static_cast<DWORD>(data->size() + 1));
    } else {
        RegDeleteValueA(key, kRunValueName);
    }
    RegCloseKey(key);
}

// Keeps the current user's Run value "Pelorandix" (type and data) and puts it
// back at the end.
class RunValueKeeper {
  public:
    RunValueKeeper() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS) {
            return;
        }
        DWORD size = 0;
        if (RegQueryValueExA(key, kRunValueName, nullptr, &type_, nullptr, &size) ==
            ERROR_SUCCESS) {
            data_.resize(size);
            if (RegQueryValueExA(key, kRunValueName, nullptr, &type_,
                                 reinterpret_cast<BYTE*>(data_.data()), &size) == ERROR_SUCCESS) {
                data_.resize(size);
                present_ = true;
            }
        }
        RegCloseKey(key);
    }
    ~RunValueKeeper() {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kRunKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS) {
            return;
        }
        if (present_) {
            RegSetValueExA(key, kRunValueName, 0, type_,
                           reinterpret_cast<const BYTE*>(data_.data()),
                           static_cast<DWORD>(data_.size()));
        } else {
            RegDeleteValueA(key, kRunValueName);
        }
        RegCloseKey(key);
    }
    RunValueKeeper(const RunValueKeeper&) = delete;
    RunValueKeeper& operator=(const RunValueKeeper&) = delete;

  private:
    bool present_ = false;
    DWORD type_ = REG_NONE;
    std::string data_;
};

// Ids of the test thread's own hotkeys: one held as another program would,
// one to try whether a combination is free (it is let go at once).
constexpr int kHeldHotkeyId = 0x200;
constexpr int kProbeHotkeyId = 0x201;

bool CombinationFree(UINT modifiers, UINT keyCode) {
    const bool free = RegisterHotKey(nullptr, kProbeHotkeyId, modifiers, keyCode) != FALSE;
    if (free) {
        UnregisterHotKey(nullptr, kProbeHotkeyId);
    }
    return free;
}

// Paints the page again; the colour of its background.
COLORREF RepaintedBackground(HWND page) {
    InvalidateRect(page, nullptr, TRUE);
    UpdateWindow(page);
    HDC dc = GetDC(page);
    const COLORREF background = GetPixel(dc, 1, 1);
    ReleaseDC(page, dc);
    return background;
}

// The page fills the tab control's display area, which holds the page's
// layout (286 x 147 dialog units of the page's font), and its frame (6, 2,
// 273, 133 in that layout) keeps its distance to the page's right and bottom
// edges.
void ExpectPageFillsTheTabs(HWND tabControl, HWND page) {
    RECT area{};
    GetClientRect(tabControl, &area);
    TabCtrl_AdjustRect(tabControl, FALSE, &area);
    RECT placed{};
    GetWindowRect(page, &placed);
    MapWindowPoints(nullptr, tabControl, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_TRUE(EqualRect(&placed, &area));

    RECT layout{6, 2, 273, 133};  // mapped one by one, as the dialog manager does
    RECT size{0, 0, 286, 147};
    MapDialogRect(page, &layout);
    MapDialogRect(page, &size);
    RECT frame{};
    GetWindowRect(GetWindow(page, GW_CHILD), &frame);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&frame), 2);
    EXPECT_GE(area.right - area.left, size.right);
    EXPECT_GE(area.bottom - area.top, size.bottom);
    EXPECT_EQ(area.right - area.left - frame.right, size.right - layout.left - layout.right);
    EXPECT_EQ(area.bottom - area.top - frame.bottom, size.bottom - layout.top - layout.bottom);
}

class PagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bus_ = hidsim::Bus::Make(hidsim::Clock::kReal);
        // Serial "1A2B3C4D", revision 0x1012, firmware 1.10; plugged by the
        // tests that want it.
        switch_ = hidsim::VirtualSwitch::Make(bus_, hidsim::SwitchOptions{});
        IowKit2InstallPlatform(bus_->MakePlatform());
        IowKit2InstallWindowCarrier();
    }
    void TearDown() override { IowKit2Shutdown(); }

    TempFolder folder_;
    WorkingDirectoryScope inFolder_{folder_.Path()};
    std::shared_ptr<hidsim::Bus> bus_;
    std::shared_ptr<hidsim::VirtualSwitch> switch_;
};

TEST_F(PagesTest, TabsShowOnePageAtATimeAndFocusIt) {
    DrivenTrayDlg window;
    EXPECT_TRUE(window.Run({{nullptr, [&] {
                                 CMyTabCtrl& tabs = window.PageTabs();
                                 HWND tabControl = tabs.GetSafeHwnd();
                                 HWND preferences = tabs.PreferencesPage().GetSafeHwnd();
                                 HWND hotkeys = tabs.HotkeysPage().GetSafeHwnd();
                                 ASSERT_EQ(TabCtrl_GetItemCount(tabControl), 2);
                                 EXPECT_EQ(TabText(tabControl, 0), "Preferences");
                                 EXPECT_EQ(TabText(tabControl, 1), "Hotkeys");
                                 EXPECT_EQ(GetParent(preferences), tabControl);
                                 EXPECT_EQ(GetParent(hotkeys), tabControl);
                                 EXPECT_TRUE(IsWindowVisible(preferences));
                                 EXPECT_FALSE(IsWindowVisible(hotkeys));
                                 ExpectPageFillsTheTabs(tabControl, preferences);
                                 ExpectPageFillsTheTabs(tabControl, hotkeys);

                                 ClickTab(tabControl, 1);
                                 EXPECT_TRUE(IsWindowVisible(hotkeys));
                                 EXPECT_FALSE(IsWindowVisible(preferences));
                                 EXPECT_TRUE(FocusInside(hotkeys));
                                 EXPECT_EQ(tabs.ShownPage(), 1);

                                 // The tab already shown: nothing changes.
                                 ClickTab(tabControl, 1);
                                 EXPECT_TRUE(IsWindowVisible(hotkeys));
                                 EXPECT_FALSE(IsWindowVisible(preferences));
                                 EXPECT_EQ(tabs.ShownPage(), 1);

                                 ClickTab(tabControl, 0);
                                 EXPECT_TRUE(IsWindowVisible(preferences));
                                 EXPECT_FALSE(IsWindowVisible(hotkeys));
                                 EXPECT_TRUE(FocusInside(preferences));
                             }}}));
}

TEST_F(PagesTest, HotkeysPageLoadsStepsTheIntervalAndSaves) {
    HotkeyTable table = DefaultHotkeyTable();
    table.entries[0].keyCode = 'Q';
    table.entries[0].modifiers = 0x07;         // Shift + Ctrl + Alt
    SetEntryName(table.entries[1], "Port A");  // another port's default name
    SetEntryName(table.entries[2], "Office");
    table.entries[4].keyCode = VK_F7;
    table.entries[4].modifiers = 0x03;  // Shift + Ctrl
    ASSERT_TRUE(SaveHotkeysAndInterval(table, 3));

    DrivenTrayDlg window;
    EXPECT_TRUE(window.Run(
        {{nullptr, [&] {
              HWND page = window.PageTabs().HotkeysPage().GetSafeHwnd();
              ClickTab(window.PageTabs().GetSafeHwnd(), 1);
              ASSERT_TRUE(IsWindowVisible(page));
              auto hotkey = [&](int id) {
                  return SendMessageA(GetDlgItem(page, id), HKM_GETHOTKEY, 0, 0);
              };
              EXPECT_EQ(hotkey(IDC_HOTKEY_PORT_A), 0x0751);
              EXPECT_EQ(hotkey(IDC_HOTKEY_PORT_B), 0);
              EXPECT_EQ(hotkey(IDC_HOTKEY_ROTATE), 0x0376);
              EXPECT_EQ(ItemText(page, IDC_NAME_PORT_A), "Description");
              EXPECT_EQ(ItemText(page, IDC_NAME_PORT_B), "Port A");
              EXPECT_EQ(ItemText(page, IDC_NAME_PORT_C), "Office");
              EXPECT_EQ(ItemText(page, IDC_NAME_PORT_D), "Description");
              EXPECT_EQ(ItemText(page, IDC_ROTATE_INTERVAL), "3");

              // A step up through the control's own arrow key: the interval
              // changes at once, the file only with Save.
              HWND spin = GetDlgItem(page, IDC_INTERVAL_SPIN);
              SendMessageA(spin, WM_KEYDOWN, VK_UP, 0);
              SendMessageA(spin, WM_KEYUP, VK_UP, 0);
              EXPECT_EQ(window.RotateInterval(), 4);
              EXPECT_EQ(ItemText(page, IDC_ROTATE_INTERVAL), "4");
              EXPECT_EQ(SendMessageA(spin, UDM_GETPOS32, 0, 0), 4);
              EXPECT_EQ(SettingsLine("Timer"), "0300000003");

              // A name box takes 29 characters: the name and its NUL fit the field.
              HWND nameC = GetDlgItem(page, IDC_NAME_PORT_C);
              for (int id = IDC_NAME_PORT_A; id <= IDC_NAME_PORT_D; ++id) {
                  EXPECT_EQ(SendMessageA(GetDlgItem(page, id), EM_GETLIMITTEXT, 0, 0), 29);
              }
              SetWindowTextA(nameC, "");
              for (int typed = 0; typed < 40; ++typed) {
                  SendMessageA(nameC, WM_CHAR, 'x', 1);
              }
              EXPECT_EQ(ui::WindowText(nameC), std::string(29, 'x'));

              SetDlgItemTextA(page, IDC_NAME_PORT_B, "Lab");
              SendMessageA(GetDlgItem(page, IDC_HOTKEY_PORT_B), HKM_SETHOTKEY, 0x0757, 0);
              SendMessageA(GetDlgItem(page, IDC_SAVE), BM_CLICK, 0, 0);

              EXPECT_EQ(SettingsLine("Hotkeys"),
                        "51000700506F72742041000000000000000000000000000000000000000000000000"
                        "570007004C6162000000000000000000000000000000000000000000000000000000"
                        "00000000787878787878787878787878787878787878787878787878787878787800"
                        "00000000506F72742044000000000000000000000000000000000000000000000000"
                        "76000300000000000000000000000000000000000000000000000000000000000000"
                        "E5");
              EXPECT_EQ(SettingsLine("Timer"), "0400000004");
              EXPECT_EQ(ItemText(page, IDC_NAME_PORT_A), "Description");
              HMENU menu = window.TrayMenu();
              ASSERT_NE(menu, nullptr);
              EXPECT_EQ(MenuText(menu, ID_PORT_A), "Port A");
              EXPECT_EQ(MenuText(menu, ID_PORT_B), "Lab");
              EXPECT_EQ(MenuText(menu, ID_PORT_C), std::string(29, 'x'));
              // Shift + Ctrl + Alt + W now belongs to the window.
              EXPECT_FALSE(CombinationFree(MOD_SHIFT | MOD_CONTROL | MOD_ALT, 'W'));
          }}}));
}

TEST_F(PagesTest, AHeldHotkeyIsMarkedAndSaveLetsTheOldCombinationGo) {
    // Port A on Ctrl+Alt+Left, stored with the control's extended-key flag;
    // port C on Ctrl+Alt+F6, which the test's thread holds.
    HotkeyTable table = DefaultHotkeyTable();
    table.entries[0] = {VK_LEFT, 0x0E, {}};
    table.entries[2] = {VK_F6, 0x06, {}};
    ASSERT_TRUE(SaveHotkeysAndInterval(table, 3));
    ASSERT_TRUE(RegisterHotKey(nullptr, kHeldHotkeyId, MOD_CONTROL | MOD_ALT, VK_F6));

    DrivenTrayDlg window;
    const auto markAndSave = [&] {
        HWND page = window.PageTabs().HotkeysPage().GetSafeHwnd();
        ClickTab(window.PageTabs().GetSafeHwnd(), 1);
        auto marked = [&] {  // the hotkey fields, 0 to 4, whose mark shows
            std::vector<int> fields;
            for (int field = 0; field < 5; ++field) {
                if (IsWindowVisible(GetDlgItem(page, IDC_IN_USE_PORT_A + field))) {
                    fields.push_back(field);
                }
            }
            return fields;
        };
        EXPECT_EQ(marked(), std::vector<int>{2});
        EXPECT_EQ(ItemText(page, IDC_IN_USE_PORT_C), "in use by another program");
        EXPECT_FALSE(CombinationFree(MOD_CONTROL | MOD_ALT, VK_LEFT));

        // Port A moves to the held F6, port C to the free F7: the mark moves
        // to A, whose old combination is let go all the same.
        SendMessageA(GetDlgItem(page, IDC_HOTKEY_PORT_A), HKM_SETHOTKEY,
                     MAKEWORD(VK_F6, HOTKEYF_CONTROL | HOTKEYF_ALT), 0);
        SendMessageA(GetDlgItem(page, IDC_HOTKEY_PORT_C), HKM_SETHOTKEY,
                     MAKEWORD(VK_F7, HOTKEYF_CONTROL | HOTKEYF_ALT), 0);
        SendMessageA(GetDlgItem(page, IDC_SAVE), BM_CLICK, 0, 0);
        EXPECT_EQ(marked(), std::vector<int>{0});
        EXPECT_TRUE(CombinationFree(MOD_CONTROL | MOD_ALT, VK_LEFT));
        EXPECT_FALSE(CombinationFree(MOD_CONTROL | MOD_ALT, VK_F7));

        // Port D on port C's F7 too: the two are marked as each other's
        // duplicate, not as held by another program.
        SendMessageA(GetDlgItem(page, IDC_HOTKEY_PORT_D), HKM_SETHOTKEY,
                     MAKEWORD(VK_F7, HOTKEYF_CONTROL | HOTKEYF_ALT), 0);
        SendMessageA(GetDlgItem(page, IDC_SAVE), BM_CLICK, 0, 0);
        EXPECT_EQ(marked(), (std::vector<int>{0, 2, 3}));
        EXPECT_EQ(ItemText(page, IDC_IN_USE_PORT_A), "in use by another program");
        EXPECT_EQ(ItemText(page, IDC_IN_USE_PORT_D), "the same combination as another field");
    };
    EXPECT_TRUE(window.Run({{nullptr, markAndSave}}));
    UnregisterHotKey(nullptr, kHeldHotkeyId);
}

TEST_F(PagesTest, StatusLabelsAndPictureShowTheSwitch) {
    DrivenTrayDlg window;
    HWND page = nullptr;
    EXPECT_TRUE(window.Run({
        {nullptr,
         [&] {
             page = window.PageTabs().PreferencesPage().GetSafeHwnd();
             EXPECT_EQ(ItemText(page, IDC_FIRMWARE_VERSION), "-");
             EXPECT_EQ(ItemText(page, IDC_HARDWARE_REVISION), "-");
             EXPECT_EQ(ItemText(page, IDC_SERIAL_NUMBER), "-");
             switch_->Plug();
         }},
        {[&] { return ItemText(page, IDC_FIRMWARE_VERSION) != "-"; },
         [&] {
             EXPECT_EQ(ItemText(page, IDC_FIRMWARE_VERSION), "1.10");
             EXPECT_EQ(ItemText(page, IDC_HARDWARE_REVISION), "00001012");
             EXPECT_EQ(ItemText(page, IDC_SERIAL_NUMBER), "1A2B3C4D");

             const COLORREF background = RepaintedBackground(page);
             HWND picture = GetDlgItem(page, IDC_DEVICE_PICTURE);
             HDC dc = GetDC(picture);
             // (2, 2) is magenta in the bitmap, (61, 79) the device's face.
             EXPECT_NE(GetPixel(dc, 2, 2), kMagenta);
             EXPECT_EQ(GetPixel(dc, 2, 2), background);
             EXPECT_EQ(GetPixel(dc, 61, 79), RGB(203, 209, 216));
             ReleaseDC(picture, dc);
         }},
    }));
}

TEST_F(PagesTest, LanguageListAndStartAtLogin) {
    RunValueKeeper keepRunValue;
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);

    struct Case {
        int32_t language;
        LRESULT selected;
        const char* shown;
        std::optional<std::string> runValue;
    };
    const Case cases[] = {
        {0, 0, "Deutsch", std::string("C:\\gone\\PelorandixControlCenter.exe")},
        {1, 1, "English", std::nullopt},
        {7, CB_ERR, "", std::nullopt},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.language);
        ASSERT_TRUE(SaveLanguage(test.language));
        PutRunValue(test.runValue);

        DrivenTrayDlg window;
        EXPECT_TRUE(window.Run(
            {{nullptr, [&] {
                  HWND page = window.PageTabs().PreferencesPage().GetSafeHwnd();
                  HWND languages = GetDlgItem(page, IDC_LANGUAGE);
                  EXPECT_EQ(SendMessageA(languages, CB_GETCURSEL, 0, 0), test.selected);
                  EXPECT_EQ(ui::WindowText(languages), test.shown);
                  HWND onLogin = GetDlgItem(page, IDC_START_AT_LOGIN);
                  EXPECT_EQ(SendMessageA(onLogin, BM_GETCHECK, 0, 0),
                            test.runValue ? BST_CHECKED : BST_UNCHECKED);
                  if (test.language != 7) {
                      return;
                  }
                  // Typing into the list's edit field writes nothing.
                  HWND edit = FindWindowExA(languages, nullptr, "Edit", nullptr);
                  ASSERT_NE(edit, nullptr);
                  SendMessageA(edit, WM_CHAR, 'E', 1);
                  EXPECT_EQ(SettingsLine("Language"), "0700000007");

                  // Choosing an entry, as the combo box tells its page, writes at once.
                  auto choose = [&](int index) {
                      SendMessageA(languages, CB_SETCURSEL, index, 0);
                      SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE),
                                   reinterpret_cast<LPARAM>(languages));
                  };
                  choose(1);
                  EXPECT_EQ(SettingsLine("Language"), "0100000001");
                  choose(0);
                  EXPECT_EQ(SettingsLine("Language"), "0000000000");
                  EXPECT_EQ(window.Language(), 7);  // until the next start

                  // On Login writes the running program's path, quoted, and deletes it
                  // again.
                  SendMessageA(onLogin, BM_CLICK, 0, 0);
                  EXPECT_EQ(RunValue(), '"' + std::string(program) + '"');
                  SendMessageA(onLogin, BM_CLICK, 0, 0);
                  EXPECT_EQ(RunValue(), std::nullopt);
                  EXPECT_EQ(SendMessageA(onLogin, BM_GETCHECK, 0, 0), BST_UNCHECKED);
              }}}));
    }
}

// The size of what the page painted in the picture control: the rightmost
// column and the lowest row (plus one) that differ from the page's
// background, inside the control's edge.
SIZE PaintedPictureSize(HWND page) {
    const COLORREF background = RepaintedBackground(page);
    HWND picture = GetDlgItem(page, IDC_DEVICE_PICTURE);
    RECT client{};
    GetClientRect(picture, &client);
    HDC dc = GetDC(picture);
    SIZE painted{0, 0};
    for (int y = 1; y < client.bottom - 1; ++y) {
        for (int x = 1; x < client.right - 1; ++x) {
            if (GetPixel(dc, x, y) != background) {
                painted = {std::max<LONG>(painted.cx, x + 1), y + 1};
            }
        }
    }
    ReleaseDC(picture, dc);
    return painted;
}

// The width of the port items' check mark in the tray menu.
int CheckMarkWidth(HMENU menu) {
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_CHECKMARKS;
    GetMenuItemInfoA(menu, ID_PORT_A, FALSE, &item);
    BITMAP checked{};
    GetObject(item.hbmpChecked, sizeof checked, &checked);
    return checked.bmWidth;
}

// Runs one test of this program in a process of its own; its exit code.
DWORD RunOwnTest(const std::string& name) {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    std::string command = '"' + std::string(program) + "\" --gtest_filter=" + name;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return GetLastError();
    }
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
    }
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

}  // namespace

// Runs at the DPI the tests run at (96 under Wine), and at 144 in a process
// of its own (below). The device is painted whole and unscaled from the
// drawing for that scale: its opaque part is 116 x 157 pixels at 100 %,
// 174 x 236 at 150 %. The check mark is the menu's check size at that DPI
// (it follows the menu font).
TEST_F(PagesTest, PictureAndCheckMarksSuitTheDisplaysDpi) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_TRUE(dpi == 96 || dpi == 144) << dpi;
    const SIZE drawn = dpi == 96 ? SIZE{116, 157} : SIZE{174, 236};
    DrivenTrayDlg window;
    EXPECT_TRUE(window.Run({{nullptr, [&] {
                                 const SIZE painted = PaintedPictureSize(
                                     window.PageTabs().PreferencesPage().GetSafeHwnd());
                                 EXPECT_EQ(painted.cx, drawn.cx);
                                 EXPECT_EQ(painted.cy, drawn.cy);
                                 EXPECT_EQ(CheckMarkWidth(window.TrayMenu()),
                                           GetSystemMetrics(SM_CXMENUCHECK));
                             }}}));
}

TEST_F(PagesTest, At144DpiThePictureAndCheckMarksAreTheOnesAt150Percent) {
    LogPixelsScope dpi(144);
    EXPECT_EQ(RunOwnTest("PagesTest.PictureAndCheckMarksSuitTheDisplaysDpi"), 0u);
}

TEST_F(PagesTest, ADpiChangeTakesTheSuggestedRectangleAndKeepsThePageShown) {
    DrivenTrayDlg window;
    const RECT suggested{40, 30, 740, 530};
    EXPECT_TRUE(window.Run(
        {{nullptr,
          [&] {
              ClickTab(window.PageTabs().GetSafeHwnd(), 1);
              SendMessageA(window.GetSafeHwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                           reinterpret_cast<LPARAM>(&suggested));
          }},
         {nullptr, [&] {
              RECT now{};
              GetWindowRect(window.GetSafeHwnd(), &now);
              EXPECT_TRUE(EqualRect(&now, &suggested));
              EXPECT_EQ(window.PageTabs().ShownPage(), 1);
              EXPECT_TRUE(IsWindowVisible(window.PageTabs().HotkeysPage().GetSafeHwnd()));
              EXPECT_FALSE(IsWindowVisible(window.PageTabs().PreferencesPage().GetSafeHwnd()));
          }}}));
}
