// The program with the virtual switch, started as a user starts it and driven
// from outside its process: its wire log (every report on the switch's pipe)
// read from its standard output, the virtual switch's commands written to its
// standard input, the tray menu opened by the tray icon's callback message and
// worked with real keys, hotkeys pressed as real keyboard input, and the tray
// icon looked for on the screen, in the notification area of Wine's virtual
// desktop.
//
// Not seen from here: the popup menu's item texts and check marks, which
// cannot be read across processes under Wine (its menus live in each
// process); the in-process test of the main window checks them.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "settings/hotkey_table.h"
#include "settings/settings_file.h"
#include "settings/test_files.h"
#include "tests/e2e/driver_win32.h"

namespace {

using e2e::ChildProgram;
using e2e::Clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The program under test, beside this driver in the build tree.
constexpr char kProgram[] = "../../app/PelorandixControlCenter-virtual.exe";
constexpr char kSettingsFile[] = "QVXSettings.ini";

// The main window: a dialog captioned "Pelorandix", marked with a property so
// that it is told from the program's message boxes (also "Pelorandix" dialogs).
constexpr char kDialogClass[] = "#32770";
constexpr char kCaption[] = "Pelorandix";
constexpr char kMainWindowProperty[] = "Pelorandix.MainWindow";
// The tray icon's id, pictures (for a dark taskbar, the default, and for a
// light one) and callback message, and the popup menu's class.
constexpr int kDarkTaskbarIconResource = 135;
constexpr int kLightTaskbarIconResource = 136;
constexpr UINT kTrayNotify = WM_APP + 100;
constexpr WPARAM kTrayIconId = 1;
constexpr char kMenuClass[] = "#32768";

// Down presses from a freshly opened tray menu to its items. Wine's menu
// selects the first item with the first Down and skips separators but not
// grayed items: model name, Firmware Upgrade, Port A to D, Rotate, Quit.
constexpr int kDownsToPortA = 3;
constexpr int kDownsToPortC = 5;
constexpr int kDownsToQuit = 8;

// Every port command waits this long before it acts. Two processes' clocks
// may round a few milliseconds apart.
constexpr auto kCommandWait = milliseconds(500);
constexpr auto kClockSlack = milliseconds(15);

// Deadlines: a start of the program under Wine, any other step.
constexpr auto kStartLimit = seconds(30);
constexpr auto kStepLimit = seconds(10);

// The wire log of taking the switch: the channel enabled, then the port, the
// firmware version and the device type asked for, each with its follow-up.
const std::vector<std::string> kTakeSwitch = {
    "> 08 01 03 00 00 00 00 00", "> 09 04 02 00 00 00 00 00", "> 09 04 07 00 00 00 00 00",
    "> 09 04 00 00 00 00 00 00", "> 09 04 07 00 00 00 00 00", "> 09 04 03 00 00 00 00 00",
    "> 09 04 07 00 00 00 00 00",
};
// The switch's answer to the device-type query, the last of the three.
constexpr char kDeviceTypeAnswer[] = "< 09 04 03 00 03";
constexpr char kSetPortPrefix[] = "> 09 04 0B";

// Where Windows 10 and 11 keep the taskbar's theme: 1 light, 0 dark; no
// value (the prefix's state) before Windows 10 version 1903.
constexpr char kPersonalizeKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr char kLightThemeValue[] = "SystemUsesLightTheme";

class TrayProgramTest : public ::testing::Test {
  protected:
    // Starts the program in the test's folder and waits until its main window
    // shows and the switch answered all three queries.
    void Start(e2e::SwitchPath path = e2e::SwitchPath::kVirtual) {
        if (path == e2e::SwitchPath::kHidStack) {
            static const bool installed = e2e::InstallTestBus();
            ASSERT_TRUE(installed) << "the test bus did not come up";
        }
        program_ = std::make_unique<e2e::SwitchedProgram>(path, folder_.Path());
        ASSERT_TRUE(program_->Started());
        mainWindow_ = e2e::WaitForTopWindow(
            program_->ProcessId(), kDialogClass, kCaption, true, kStartLimit,
            [](HWND window) { return GetPropA(window, kMainWindowProperty) != nullptr; });
        ASSERT_NE(mainWindow_, nullptr) << "the main window did not show";
        ASSERT_TRUE(program_->WaitForLine(kDeviceTypeAnswer, 0, kStepLimit))
            << "the switch was not taken";
    }

    // Opens the tray menu as the shell does on a right click, then picks the
    // item `downs` Down presses away with real keys. Returns when the Enter
    // went in; nothing when the menu did not open.
    std::optional<Clock::time_point> ChooseTrayItem(int downs) {
        PostMessageA(mainWindow_, kTrayNotify, kTrayIconId, WM_RBUTTONDOWN);
        HWND menu = e2e::WaitForTopWindow(program_->ProcessId(), kMenuClass, std::nullopt, true,
                                          kStepLimit);
        if (menu == nullptr) {
            return std::nullopt;
        }
        for (int press = 0; press < downs; ++press) {
            e2e::PressKey(VK_DOWN);
        }
        const Clock::time_point enter = Clock::now();
        e2e::PressKey(VK_RETURN);
        EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindowVisible(menu); }, kStepLimit))
            << "the tray menu stayed open";
        return enter;
    }

    // The set-port reports on the wire from line `from` on.
    std::vector<std::string> SetPortLines(size_t from) const {
        std::vector<std::string> found;
        const std::vector<e2e::OutputLine> lines = program_->Lines();
        for (size_t index = from; index < lines.size(); ++index) {
            if (lines[index].text.starts_with(kSetPortPrefix)) {
                found.push_back(lines[index].text);
            }
        }
        return found;
    }

    void TearDown() override {
        if (HasFailure() && program_) {
            const std::vector<e2e::OutputLine> lines = program_->Lines();
            std::cout << "program output:\n";
            for (const e2e::OutputLine& line : lines) {
                const auto at = std::chrono::duration_cast<milliseconds>(line.at - lines[0].at);
                std::cout << "  +" << at.count() << " ms  " << line.text << "\n";
            }
        }
        // Ends the program before its folder goes.
        program_.reset();
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue);
    }

    static bool TrayShowsIcon(int iconResource) {
        return e2e::NotificationAreaShowsIcon(e2e::BesideThisProgram(kProgram), iconResource);
    }

    // Takes the tray icon away, as a restart of the shell does; true once
    // the screen shows it gone.
    bool RemoveTrayIcon(int iconResource) {
        NOTIFYICONDATAA icon{};
        icon.cbSize = NOTIFYICONDATAA_V2_SIZE;
        icon.hWnd = mainWindow_;
        icon.uID = kTrayIconId;
        return Shell_NotifyIconA(NIM_DELETE, &icon) &&
               e2e::WaitUntil([&] { return !TrayShowsIcon(iconResource); }, kStepLimit);
    }

    TempFolder folder_;
    std::unique_ptr<e2e::SwitchedProgram> program_;
    HWND mainWindow_ = nullptr;
};

// Ports from the tray menu and the hotkeys, with the virtual switch and with
// the same switch met by the release program through Wine's own HID stack.
class TrayPathTest : public TrayProgramTest,
                     public ::testing::WithParamInterface<e2e::SwitchPath> {};

INSTANTIATE_TEST_SUITE_P(VirtualAndHidStack, TrayPathTest,
                         ::testing::Values(e2e::SwitchPath::kVirtual, e2e::SwitchPath::kHidStack));

TEST_P(TrayPathTest, TakesTheSwitchSetsAPortFromTheTrayMenuAndReportsAFailedPort) {
    Start(GetParam());
    EXPECT_TRUE(IsWindowVisible(mainWindow_));

    std::vector<std::string> toSwitch;
    for (const e2e::OutputLine& line : program_->Lines()) {
        if (line.text.starts_with(">")) {
            toSwitch.push_back(line.text);
        }
    }
    toSwitch.resize(std::min(toSwitch.size(), kTakeSwitch.size()));
    EXPECT_EQ(toSwitch, kTakeSwitch);

    // Port C from the tray menu: set on the wire half a second after the
    // Enter, and the switch answers with its new port state.
    size_t from = program_->LineCount();
    const std::optional<Clock::time_point> enter = ChooseTrayItem(kDownsToPortC);
    ASSERT_TRUE(enter) << "the tray menu did not open";
    const std::optional<size_t> setPort = program_->WaitForLine(kSetPortPrefix, from, kStepLimit);
    ASSERT_TRUE(setPort);
    EXPECT_EQ(program_->Line(*setPort).text, "> 09 04 0B 02 02 00 00 00");
    EXPECT_GE(program_->Line(*setPort).at - *enter, kCommandWait - kClockSlack);
    EXPECT_TRUE(program_->WaitForLine("< 09 04 02 00 02 02", *setPort, kStepLimit));

    // Unplugged, a port command fails: the program says so in a message box
    // of its main window, and the OK button closes it.
    from = program_->LineCount();
    ASSERT_EQ(program_->Command("unplug", kStepLimit), "ok");
    ASSERT_TRUE(ChooseTrayItem(kDownsToPortA)) << "the tray menu did not open";
    HWND box =
        e2e::WaitForTopWindow(program_->ProcessId(), kDialogClass, kCaption, true, kStepLimit,
                              [&](HWND window) { return window != mainWindow_; });
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_EQ(GetWindow(box, GW_OWNER), mainWindow_);
    EXPECT_NE(e2e::FindChildWindow(box, "Static", "Error while setting new port"), nullptr);
    EXPECT_TRUE(SetPortLines(from).empty());
    HWND ok = GetDlgItem(box, IDOK);
    ASSERT_NE(ok, nullptr);
    PostMessageA(ok, BM_CLICK, 0, 0);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(box); }, kStepLimit));
    EXPECT_TRUE(program_->IsRunning());
}

TEST_P(TrayPathTest, HotkeysFromTheSettingsFileSetThePortAndRotate) {
    // Ctrl+Alt+F8 for port B, Ctrl+Alt+F9 to rotate, every second.
    constexpr uint16_t kCtrlAlt = 0x02 | 0x04;
    HotkeyTable table = DefaultHotkeyTable();
    table.entries[1].keyCode = VK_F8;
    table.entries[1].modifiers = kCtrlAlt;
    table.entries[4].keyCode = VK_F9;
    table.entries[4].modifiers = kCtrlAlt;
    ASSERT_TRUE(SaveHotkeysAndInterval(table, 1, folder_.File(kSettingsFile)));
    Start(GetParam());

    // Held down, the hotkey sets the port once; its repeats are let go.
    size_t from = program_->LineCount();
    e2e::PressKey(VK_F8, {VK_CONTROL, VK_MENU}, 5);
    const std::optional<size_t> portB = program_->WaitForLine(kSetPortPrefix, from, kStepLimit);
    ASSERT_TRUE(portB) << "the port hotkey did not arrive";
    EXPECT_EQ(program_->Line(*portB).text, "> 09 04 0B 01 01 00 00 00");
    ASSERT_TRUE(program_->WaitForLine("< 09 04 02 00 01 01", *portB, kStepLimit));
    EXPECT_FALSE(program_->WaitForLine(kSetPortPrefix, *portB + 1, milliseconds(1500)))
        << "the held hotkey's repeats set the port again";

    // Rotation asks for the port and sets none; each tick then steps on from
    // B, keeping the second port the switch reported.
    from = program_->LineCount();
    e2e::PressKey(VK_F9, {VK_CONTROL, VK_MENU});
    const std::optional<size_t> query =
        program_->WaitForLine("> 09 04 02 00 00 00 00 00", from, kStepLimit);
    ASSERT_TRUE(query) << "the rotate hotkey did not arrive";
    ASSERT_TRUE(e2e::WaitUntil([&] { return SetPortLines(from).size() >= 2; }, kStepLimit));
    const std::vector<std::string> ticks = SetPortLines(from);
    EXPECT_EQ(ticks[0], "> 09 04 0B 02 01 00 00 00");
    EXPECT_EQ(ticks[1], "> 09 04 0B 03 01 00 00 00");

    // A port hotkey while rotating stops the rotation: port B, then no tick
    // within one and a half periods.
    from = program_->LineCount();
    e2e::PressKey(VK_F8, {VK_CONTROL, VK_MENU});
    const std::optional<size_t> stop = program_->WaitForLine("> 09 04 0B 01 01", from, kStepLimit);
    ASSERT_TRUE(stop) << "the rotation was not stopped by port B";
    EXPECT_FALSE(program_->WaitForLine(kSetPortPrefix, *stop + 1, milliseconds(1500)))
        << "the rotation went on";
}

TEST_F(TrayProgramTest, TheTrayIconShowsCloseHidesASecondStartShowsTheFirstAndQuitEnds) {
    Start();
    const auto trayShowsIcon = [] { return TrayShowsIcon(kDarkTaskbarIconResource); };
    EXPECT_TRUE(e2e::WaitUntil(trayShowsIcon, kStepLimit)) << "no tray icon";

    // The icon gone, as when the shell restarts, while the main window and its
    // taskbar button show: the check sees no icon. The shell's "TaskbarCreated"
    // brings it back.
    EXPECT_TRUE(RemoveTrayIcon(kDarkTaskbarIconResource)) << "an icon was seen where there is none";
    EXPECT_TRUE(IsWindowVisible(mainWindow_));
    PostMessageA(mainWindow_, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(e2e::WaitUntil(trayShowsIcon, kStepLimit)) << "the tray icon did not come back";

    PostMessageA(mainWindow_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindowVisible(mainWindow_); }, kStepLimit));
    EXPECT_TRUE(IsWindow(mainWindow_));
    EXPECT_TRUE(program_->IsRunning());

    // Started again in the same folder, the program shows the running one's
    // window on top of all others and leaves, having touched no switch.
    {
        auto second =
            std::make_unique<ChildProgram>(e2e::BesideThisProgram(kProgram), folder_.Path());
        ASSERT_TRUE(second->Started());
        EXPECT_EQ(second->WaitForExit(kStartLimit), 0u);
        EXPECT_EQ(second->LineCount(), 0u);
    }
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
            return IsWindowVisible(mainWindow_) &&
                   (GetWindowLongA(mainWindow_, GWL_EXSTYLE) & WS_EX_TOPMOST);
        },
        kStepLimit));
    EXPECT_TRUE(program_->IsRunning());

    // Back in the tray, as the program mostly is, Quit from the tray menu
    // ends it.
    PostMessageA(mainWindow_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindowVisible(mainWindow_); }, kStepLimit));
    ASSERT_TRUE(ChooseTrayItem(kDownsToQuit)) << "the tray menu did not open";
    EXPECT_EQ(program_->WaitForExit(kStepLimit), 0u) << "Quit did not end the program";
    EXPECT_TRUE(e2e::WaitUntil([&] { return !trayShowsIcon(); }, kStepLimit))
        << "the tray icon stayed";
}

TEST_F(TrayProgramTest, TheTrayIconTakesTheLookOfTheTaskbarsThemeWhenWindowsSaysItChanged) {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue);
    Start();
    EXPECT_TRUE(e2e::WaitUntil([] { return TrayShowsIcon(kDarkTaskbarIconResource); }, kStepLimit));

    // Windows tells every top-level window once the value changed.
    const auto themeChanged = [&](DWORD light) {
        RegSetKeyValueA(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue, REG_DWORD, &light,
                        sizeof light);
        DWORD_PTR result = 0;
        SendMessageTimeoutA(mainWindow_, WM_SETTINGCHANGE, 0,
                            reinterpret_cast<LPARAM>("ImmersiveColorSet"), SMTO_ABORTIFHUNG, 5000,
                            &result);
    };
    const auto showsOnly = [](int shown, int gone) {
        return [=] { return TrayShowsIcon(shown) && !TrayShowsIcon(gone); };
    };
    themeChanged(1);
    EXPECT_TRUE(
        e2e::WaitUntil(showsOnly(kLightTaskbarIconResource, kDarkTaskbarIconResource), kStepLimit));

    // After a restart of the shell the icon comes back as it was.
    EXPECT_TRUE(RemoveTrayIcon(kLightTaskbarIconResource));
    PostMessageA(mainWindow_, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(
        e2e::WaitUntil([] { return TrayShowsIcon(kLightTaskbarIconResource); }, kStepLimit));

    themeChanged(0);
    EXPECT_TRUE(
        e2e::WaitUntil(showsOnly(kDarkTaskbarIconResource, kLightTaskbarIconResource), kStepLimit));
}

}  // namespace
