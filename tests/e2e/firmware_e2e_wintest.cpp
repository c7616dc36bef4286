// The firmware upgrade as a user goes through it, in the program with the
// virtual switch and in the release program meeting the same switch through
// Wine's own HID stack: Firmware Upgrade from the tray menu, Check, Yes, the new
// firmware's records on the switch's wire in order, the outcome message, and
// the switch's new version in the dialog opened again. The update server runs
// on a thread of this driver, reached through the proxy settings, and offers
// a firmware image this test writes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "firmware/testing/proxy_settings_win32.h"
#include "firmware/update_server/srecord_image.h"
#include "firmware/update_server/update_listener.h"
#include "settings/test_files.h"
#include "tests/e2e/driver_win32.h"

namespace {

using e2e::Clock;
using e2e::SwitchPath;
using std::chrono::seconds;

constexpr char kDialogClass[] = "#32770";
constexpr char kMainCaption[] = "Pelorandix";
constexpr char kMainWindowProperty[] = "Pelorandix.MainWindow";
constexpr char kUpgradeCaption[] = "Firmware Upgrade";
constexpr UINT kTrayNotify = WM_APP + 100;
constexpr WPARAM kTrayIconId = 1;
constexpr char kMenuClass[] = "#32768";
// Wine's menu selects the model name with the first Down, then Firmware Upgrade.
constexpr int kDownsToFirmwareUpgrade = 2;
// The dialog's Check button and version text.
constexpr int kCheckButton = 1026;
constexpr int kVersionText = 1028;
// Main window commands.
constexpr WPARAM kQuitCommand = 40007;
constexpr WPARAM kPortBCommand = 40016;
constexpr WPARAM kFirmwareUpgradeCommand = 40025;
// The hotkey ids of ports B and C.
constexpr WPARAM kPortBHotkey = 2;
constexpr WPARAM kPortCHotkey = 3;

// The image on offer: version 1.11 in its S0 record, 8 KiB of data in 256 S1
// records. The 64 KiB sample goes through the in-process dialog test and the
// benchmark; here its half minute of fixed waits would only add run time.
constexpr char kOfferedVersion[] = "1.11";
constexpr size_t kImageBytes = 8 * 1024;

constexpr char kQuestion[] =
    "There is a new Firmware available (v1.11)! Do you want to upgarde the switch?";
constexpr char kFinished[] = "Firmware Upgrade finished";
constexpr char kNotConnected[] = "Firmware Upgrade failed: the switch is not connected";
constexpr char kWriteFailed[] = "Firmware Upgrade failed: the switch did not take the data";
constexpr char kDeviceTypeAnswer[] = "< 09 04 03 00 03";
constexpr char kS1RecordHeader[] = "> 09 C2 F1";
constexpr char kSetPort[] = "> 09 04 0B";
constexpr char kVersion111Answer[] = "< 09 04 00 00 01 0B";

constexpr auto kStartLimit = seconds(30);
constexpr auto kStepLimit = seconds(10);
constexpr auto kTransferLimit = seconds(60);

struct Record {
    int type = 0;
    std::string text;
    bool operator==(const Record&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Record& record) {
        return out << record.type << " " << record.text;
    }
};

// The firmware records in the reports of a wire log: a header [9, 0xC3, 240,
// n, 0] or [9, 0xC2, type, n], then chunks [9, 0xC6, six bytes] while more
// follow and [9, 0x80 + count, bytes] for the last.
std::vector<Record> RecordsOnTheWire(const std::vector<e2e::OutputLine>& lines) {
    std::vector<Record> records;
    for (const e2e::OutputLine& line : lines) {
        if (!line.text.starts_with("> ")) {
            continue;
        }
        std::vector<int> bytes;
        std::istringstream hex(line.text.substr(2));
        for (int byte; hex >> std::hex >> byte;) {
            bytes.push_back(byte);
        }
        if (bytes.size() != 8 || bytes[0] != 9 || !(bytes[1] & 0x80)) {
            continue;
        }
        if (bytes[1] == 0xC3 || bytes[1] == 0xC2) {
            records.push_back({bytes[2], ""});
        } else if (!records.empty()) {
            const int count = bytes[1] == 0xC6 ? 6 : bytes[1] - 0x80;
            for (int at = 2; at < 2 + count && at < 8; ++at) {
                records.back().text.push_back(static_cast<char>(bytes[at]));
            }
        }
    }
    return records;
}

// The S0, S1 and S9 lines of an image file as records.
std::vector<Record> RecordsInFile(const std::string& path) {
    std::vector<Record> records;
    std::ifstream file(path, std::ios::binary);
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const int type = line.starts_with("S0") ? 240 : line.starts_with("S1") ? 241 : 242;
        records.push_back({type, line});
    }
    return records;
}

class FirmwareProgram : public ::testing::Test {
  protected:
    void Start(SwitchPath path) {
        if (path == SwitchPath::kHidStack) {
            static const bool installed = e2e::InstallTestBus();
            ASSERT_TRUE(installed) << "the test bus did not come up";
        }
        std::ofstream(images_.File("1.11.s19"), std::ios::binary)
            << updateserver::MakeSRecordImage(kOfferedVersion, kImageBytes);
        std::string error;
        listener_ = updateserver::StartUpdateListener(service_, 0, error);
        ASSERT_TRUE(listener_) << error;
        proxy_.PointAt(listener_->Port());

        program_ = std::make_unique<e2e::SwitchedProgram>(path, folder_.Path());
        ASSERT_TRUE(program_->Started());
        mainWindow_ = e2e::WaitForTopWindow(
            program_->ProcessId(), kDialogClass, kMainCaption, true, kStartLimit,
            [](HWND window) { return GetPropA(window, kMainWindowProperty) != nullptr; });
        ASSERT_NE(mainWindow_, nullptr) << "the main window did not show";
        ASSERT_TRUE(program_->WaitForLine(kDeviceTypeAnswer, 0, kStepLimit))
            << "the switch was not taken";
    }

    void TearDown() override {
        if (HasFailure() && program_) {
            std::cout << "last lines of the program's output:\n";
            const std::vector<e2e::OutputLine> lines = program_->Lines();
            for (size_t index = lines.size() > 40 ? lines.size() - 40 : 0; index < lines.size();
                 ++index) {
                std::cout << "  " << lines[index].text << "\n";
            }
        }
        program_.reset();
    }

    // Firmware Upgrade from the tray menu, with real keys; the dialog once it
    // shows, nullptr when it does not.
    HWND OpenUpgradeDialog() {
        PostMessageA(mainWindow_, kTrayNotify, kTrayIconId, WM_RBUTTONDOWN);
        if (!e2e::WaitForTopWindow(program_->ProcessId(), kMenuClass, std::nullopt, true,
                                   kStepLimit)) {
            return nullptr;
        }
        for (int press = 0; press < kDownsToFirmwareUpgrade; ++press) {
            e2e::PressKey(VK_DOWN);
        }
        e2e::PressKey(VK_RETURN);
        return OwnedWindow(mainWindow_, kStepLimit);
    }

    // The visible dialog captioned "Firmware Upgrade" that `owner` owns: the
    // upgrade dialog for the main window, a message box for the dialog.
    HWND OwnedWindow(HWND owner, Clock::duration limit,
                     std::optional<std::string_view> label = std::nullopt) {
        return e2e::WaitForTopWindow(
            program_->ProcessId(), kDialogClass, kUpgradeCaption, true, limit, [&](HWND window) {
                return GetWindow(window, GW_OWNER) == owner &&
                       (!label || e2e::FindChildWindow(window, "Static", *label) != nullptr);
            });
    }

    void Close(HWND dialog) {
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(dialog); }, kStepLimit));
    }

    TempFolder folder_;
    TempFolder images_;
    updateserver::UpdateService service_{images_.Path()};
    std::unique_ptr<updateserver::UpdateListener> listener_;
    ProxySettings proxy_;
    std::unique_ptr<e2e::SwitchedProgram> program_;
    HWND mainWindow_ = nullptr;
};

class FirmwareProgramTest : public FirmwareProgram,
                            public ::testing::WithParamInterface<SwitchPath> {
  protected:
    void SetUp() override { Start(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(VirtualAndHidStack, FirmwareProgramTest,
                         ::testing::Values(SwitchPath::kVirtual, SwitchPath::kHidStack));

class VirtualFirmwareProgramTest : public FirmwareProgram {
  protected:
    void SetUp() override { Start(SwitchPath::kVirtual); }
};

TEST_P(FirmwareProgramTest, CheckAndYesPassTheNewFirmwareToTheSwitch) {
    HWND dialog = OpenUpgradeDialog();
    ASSERT_NE(dialog, nullptr) << "the upgrade dialog did not open";
    EXPECT_EQ(e2e::WindowText(GetDlgItem(dialog, kVersionText)), "1.10");

    PostMessageA(GetDlgItem(dialog, kCheckButton), BM_CLICK, 0, 0);
    HWND question = OwnedWindow(dialog, kStepLimit, kQuestion);
    ASSERT_NE(question, nullptr) << "no question";
    const size_t from = program_->LineCount();
    PostMessageA(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);

    HWND outcome = OwnedWindow(dialog, kTransferLimit, kFinished);
    ASSERT_NE(outcome, nullptr) << "no outcome message";
    // The version the switch told after the transfer.
    EXPECT_EQ(e2e::WindowText(GetDlgItem(dialog, kVersionText)), "1.11");
    std::vector<e2e::OutputLine> lines = program_->Lines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(from));
    const std::vector<Record> expected = RecordsInFile(images_.File("1.11.s19"));
    ASSERT_EQ(expected.size(), 2u + kImageBytes / 32);
    EXPECT_EQ(RecordsOnTheWire(lines), expected);
    const std::vector<std::string> requests = service_.RequestLines();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].ends_with("/firmware/check.php?fw=1.10&swid=3&av=1.0.1&os=w HTTP/1.1"))
        << requests[0];
    PostMessageA(GetDlgItem(outcome, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(outcome); }, kStepLimit));
    Close(dialog);

    // The main window's status page shows the new version too, and the
    // dialog opened again.
    ASSERT_TRUE(program_->WaitForLine(kVersion111Answer, from, kStepLimit));
    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return e2e::FindChildWindow(mainWindow_, "Static", "1.11") != nullptr; },
        kStepLimit));
    dialog = OpenUpgradeDialog();
    ASSERT_NE(dialog, nullptr) << "the upgrade dialog did not open again";
    EXPECT_EQ(e2e::WindowText(GetDlgItem(dialog, kVersionText)), "1.11");
    Close(dialog);
}

TEST_P(FirmwareProgramTest, ARecordTheSwitchRefusesStopsTheTransferAndIsNamed) {
    HWND dialog = OpenUpgradeDialog();
    ASSERT_NE(dialog, nullptr) << "the upgrade dialog did not open";
    // The switch takes three records and refuses the fourth.
    ASSERT_EQ(program_->Command("status 0 0 0 4", kStepLimit), "ok");

    PostMessageA(GetDlgItem(dialog, kCheckButton), BM_CLICK, 0, 0);
    HWND question = OwnedWindow(dialog, kStepLimit, kQuestion);
    ASSERT_NE(question, nullptr) << "no question";
    const size_t from = program_->LineCount();
    PostMessageA(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    HWND outcome = OwnedWindow(dialog, kTransferLimit, "Firmware Upgrade Error 4");
    ASSERT_NE(outcome, nullptr) << "no outcome message naming the status";

    // At most two records after the refused one, then the end commands.
    std::vector<e2e::OutputLine> lines = program_->Lines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(from));
    const size_t sent = RecordsOnTheWire(lines).size();
    EXPECT_GE(sent, 4u);
    EXPECT_LE(sent, 6u);
    std::vector<std::string> afterRecords;
    for (const e2e::OutputLine& line : lines) {
        if (line.text == "> 09 01 08 00 00 00 00 00" || !afterRecords.empty()) {
            afterRecords.push_back(line.text);
        }
    }
    ASSERT_GE(afterRecords.size(), 3u);
    // The begin command comes first; the end commands close the transfer.
    const auto end =
        std::find(afterRecords.begin() + 1, afterRecords.end(), "> 09 01 08 00 00 00 00 00");
    ASSERT_NE(end, afterRecords.end());
    ASSERT_NE(end + 1, afterRecords.end());
    EXPECT_EQ(*(end + 1), "> 09 01 FE 00 00 00 00 00");
    PostMessageA(GetDlgItem(outcome, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(outcome); }, kStepLimit));
    Close(dialog);
}

TEST_F(VirtualFirmwareProgramTest, WhatOthersDoDuringTheTransferComesToNothing) {
    HWND dialog = OpenUpgradeDialog();
    ASSERT_NE(dialog, nullptr) << "the upgrade dialog did not open";
    PostMessageA(GetDlgItem(dialog, kCheckButton), BM_CLICK, 0, 0);
    HWND question = OwnedWindow(dialog, kStepLimit, kQuestion);
    ASSERT_NE(question, nullptr) << "no question";
    const size_t from = program_->LineCount();
    PostMessageA(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    ASSERT_TRUE(program_->WaitForLine(kS1RecordHeader, from, kStepLimit)) << "no records";

    // Sent by another program (a screen reader, a script): the transfer's
    // pauses answer them. A hotkey pressed meanwhile waits in the queue.
    const auto send = [](HWND window, UINT message, WPARAM wParam) {
        DWORD_PTR result = 0;
        EXPECT_NE(SendMessageTimeoutA(window, message, wParam, 0, SMTO_NORMAL, 10000, &result), 0);
    };
    send(dialog, WM_CLOSE, 0);
    send(mainWindow_, WM_COMMAND, kPortBCommand);
    send(mainWindow_, WM_COMMAND, kFirmwareUpgradeCommand);
    send(mainWindow_, WM_COMMAND, kQuitCommand);
    PostMessageA(mainWindow_, WM_HOTKEY, kPortBHotkey, 0);

    HWND outcome = OwnedWindow(dialog, kTransferLimit, kFinished);
    ASSERT_NE(outcome, nullptr) << "no outcome message";
    EXPECT_EQ(
        e2e::FindTopWindows(program_->ProcessId(), kDialogClass, kUpgradeCaption, true).size(),
        2u);  // the dialog and its message box
    PostMessageA(GetDlgItem(outcome, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(outcome); }, kStepLimit));

    // A hotkey now acts, and its port change is the first since the Yes.
    PostMessageA(mainWindow_, WM_HOTKEY, kPortCHotkey, 0);
    const std::optional<size_t> setPort = program_->WaitForLine(kSetPort, from, kStepLimit);
    ASSERT_TRUE(setPort) << "the hotkey after the transfer did not act";
    EXPECT_EQ(program_->Line(*setPort).text, "> 09 04 0B 02 02 00 00 00");
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(program_->IsRunning());
    Close(dialog);
}

TEST_P(FirmwareProgramTest, AnUnplugDuringTheTransferEndsInAFailureWithoutHanging) {
    HWND dialog = OpenUpgradeDialog();
    ASSERT_NE(dialog, nullptr) << "the upgrade dialog did not open";
    PostMessageA(GetDlgItem(dialog, kCheckButton), BM_CLICK, 0, 0);
    HWND question = OwnedWindow(dialog, kStepLimit, kQuestion);
    ASSERT_NE(question, nullptr) << "no question";
    const size_t from = program_->LineCount();
    PostMessageA(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    ASSERT_TRUE(program_->WaitForLine(kS1RecordHeader, from, kStepLimit)) << "no records";
    ASSERT_EQ(program_->Command("unplug", kStepLimit), "ok");

    // A failure names what went wrong; nothing says "finished".
    HWND outcome =
        e2e::WaitForTopWindow(program_->ProcessId(), kDialogClass, kUpgradeCaption, true,
                              kTransferLimit, [&](HWND window) {
                                  return GetWindow(window, GW_OWNER) == dialog &&
                                         (e2e::FindChildWindow(window, "Static", kNotConnected) ||
                                          e2e::FindChildWindow(window, "Static", kWriteFailed));
                              });
    ASSERT_NE(outcome, nullptr) << "no failure message";
    EXPECT_EQ(e2e::FindChildWindow(outcome, "Static", kFinished), nullptr);
    PostMessageA(GetDlgItem(outcome, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(outcome); }, kStepLimit));
    Close(dialog);

    // Plugged in again, the switch is taken again.
    const size_t replugged = program_->LineCount();
    ASSERT_EQ(program_->Command("plug", kStepLimit), "ok");
    EXPECT_TRUE(program_->WaitForLine(kDeviceTypeAnswer, replugged, kStepLimit));
}

}  // namespace
