// The firmware upgrade dialog for real, opened from the main window with the
// virtual switch on the simulated bus and the local update server reached
// through the proxy settings. Its message boxes are answered from the main
// window's driver timer, which runs inside their modal loops.
#include "firmware/fw_upgrade_dlg_win32.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/testing/driven_tray_dlg_win32.h"
#include "firmware/testing/proxy_settings_win32.h"
#include "firmware/update_server/update_listener.h"
#include "hid/platform.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/virtual_switch.h"
#include "hid/win32/install.h"
#include "resources/resource.h"
#include "settings/test_files.h"

namespace {

using Report = std::vector<uint8_t>;
using TimePoint = std::chrono::steady_clock::time_point;

constexpr char kSampleImage[] = PELO_SAMPLE_IMAGES "/1.11.s19";
constexpr char kQuestion[] =
    "There is a new Firmware available (v1.11)! Do you want to upgarde the switch?";
constexpr char kFinished[] = "Firmware Upgrade finished";
// The answer is "1.11\r\n" and the 155680-byte image: the bar's range ends at
// 155686 - 4 - 1, and the image's lines move it by 155680.
constexpr int kRangeEnd = 155681;
constexpr int kPositionAfterTransfer = 155680;
// Below the driver's own limit for a step.
constexpr auto kGiveUp = std::chrono::seconds(8);

std::string Text(HWND window) {
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The texts of a window's labels, each followed by a line break.
std::string Labels(HWND window) {
    std::string texts;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM context) {
            char name[16] = "";
            GetClassNameA(child, name, sizeof name);
            if (std::string(name) == "Static" && !Text(child).empty()) {
                *reinterpret_cast<std::string*>(context) += Text(child) + "\n";
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

std::string VersionShown(HWND dialog) {
    return Text(GetDlgItem(dialog, IDC_CURRENT_VERSION));
}

struct ProgressBar {
    int low = 0;
    int high = 0;
    int position = 0;
    bool operator==(const ProgressBar&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const ProgressBar& bar) {
        return out << bar.low << ".." << bar.high << " at " << bar.position;
    }
};

ProgressBar Progress(HWND dialog) {
    HWND bar = GetDlgItem(dialog, IDC_FIRMWARE_PROGRESS);
    PBRANGE range{};
    SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    return {range.iLow, range.iHigh, static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0))};
}

void Click(HWND dialog, int button) {
    PostMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
}

// The S0, S1 and S9 lines of the sample image as the switch should get them.
std::vector<hidsim::FirmwareRecord> SampleRecords() {
    std::ifstream file(kSampleImage, std::ios::binary);
    std::vector<hidsim::FirmwareRecord> records;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const uint8_t type = line.starts_with("S0") ? 240 : line.starts_with("S1") ? 241 : 242;
        records.push_back({type, static_cast<uint8_t>(line.size()), line});
    }
    return records;
}

class FwUpgradeDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bus_ = hidsim::Bus::Make(hidsim::Clock::kReal);
        switch_ = hidsim::VirtualSwitch::Make(bus_);
        switch_->SetTrafficListener(
            [this](hidsim::Direction direction, const uint8_t* report, size_t size) {
                if (direction == hidsim::Direction::kToSwitch) {
                    const std::lock_guard<std::mutex> lock(mutex_);
                    toSwitch_.emplace_back(report, report + size);
                }
            });
        IowKit2InstallPlatform(bus_->MakePlatform());
        IowKit2InstallWindowCarrier();
        std::string error;
        listener_ = updateserver::StartUpdateListener(service_, 0, error);
        ASSERT_TRUE(listener_) << error;
        proxy_.PointAt(listener_->Port());
    }
    void TearDown() override { IowKit2Shutdown(); }

    // The reports written to the switch since the last call.
    std::vector<Report> TakeReports() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(toSwitch_, {});
    }

    // Steps that open the upgrade dialog from the main window's menu command
    // and, once it shows, act on it.
    void OpenDialog(std::vector<DrivenTrayDlg::Step>& steps, std::function<bool()> ready,
                    std::function<void(HWND)> act) {
        steps.push_back(
            {std::move(ready),
             [this] { PostMessageA(window_.GetSafeHwnd(), WM_COMMAND, ID_FIRMWARE_UPGRADE, 0); }});
        steps.push_back(
            {[this] { return (dialog_ = OwnedDialog(window_.GetSafeHwnd())) != nullptr; },
             [this, act] { act(dialog_); }});
    }
    // A step that waits for a message box of the dialog saying `text`, then
    // checks the dialog and clicks `button`.
    DrivenTrayDlg::Step AnswerBox(std::string text, int button,
                                  std::function<void()> check = nullptr) {
        return {[this, text] {
                    box_ = OwnedDialog(dialog_);
                    return box_ != nullptr && Labels(box_) == text + "\n";
                },
                [this, button, check] {
                    EXPECT_EQ(Text(box_), "Firmware Upgrade");
                    if (check) {
                        check();
                    }
                    Click(box_, button);
                }};
    }
    // Runs the main window through the steps. A step whose condition has not
    // held for a while ends the dialog and its message box first, so that the
    // driver, giving up, ends the main window rather than a modal loop inside
    // it going on for ever.
    bool Run(std::vector<DrivenTrayDlg::Step> steps) {
        for (DrivenTrayDlg::Step& step : steps) {
            if (step.ready) {
                step.ready = [this, ready = std::move(step.ready), since = TimePoint()]() mutable {
                    if (ready()) {
                        return true;
                    }
                    const TimePoint now = std::chrono::steady_clock::now();
                    if (since == TimePoint()) {
                        since = now;
                    } else if (now - since > kGiveUp) {
                        GiveUp();
                    }
                    return false;
                };
            }
        }
        return window_.Run(std::move(steps));
    }
    void GiveUp() {
        HWND box = OwnedDialog(dialog_);
        if (!gaveUp_) {
            ADD_FAILURE() << "a step waited in vain; message box: " << (box ? Labels(box) : "none");
            gaveUp_ = true;
        }
        if (box) {
            EndDialog(box, IDNO);
        }
        if (IsWindow(dialog_)) {
            EndDialog(dialog_, IDCANCEL);
        }
    }
    // Closes the dialog with the close box and waits until it is gone.
    void CloseDialog(std::vector<DrivenTrayDlg::Step>& steps) {
        steps.push_back({[this] { return OwnedDialog(dialog_) == nullptr; },
                         [this] { PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0); }});
        steps.push_back({[this] { return !IsWindow(dialog_); }, nullptr});
    }

    TempFolder folder_;
    WorkingDirectoryScope inFolder_{folder_.Path()};
    std::shared_ptr<hidsim::Bus> bus_;
    std::shared_ptr<hidsim::VirtualSwitch> switch_;
    std::mutex mutex_;
    std::vector<Report> toSwitch_;
    updateserver::UpdateService service_{PELO_SAMPLE_IMAGES};
    std::unique_ptr<updateserver::UpdateListener> listener_;
    ProxySettings proxy_;
    DrivenTrayDlg window_;
    HWND dialog_ = nullptr;
    HWND box_ = nullptr;
    bool gaveUp_ = false;
};

TEST_F(FwUpgradeDlgTest, WithoutASwitchNoVersionIsShownAndOnlyTheCloseBoxCloses) {
    std::vector<DrivenTrayDlg::Step> steps;
    OpenDialog(steps, nullptr, [&](HWND dialog) {
        EXPECT_EQ(Text(dialog), "Firmware Upgrade");
        EXPECT_EQ(VersionShown(dialog), "");
        EXPECT_EQ(Progress(dialog), (ProgressBar{0, 100, 0}));
        SendMessageA(GetDlgItem(dialog, IDC_RELOAD), BM_CLICK, 0, 0);
        // Escape and Enter on no button leave it open.
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(OwnedDialog(dialog), nullptr);
        EXPECT_EQ(VersionShown(dialog), "");
        EXPECT_EQ(Progress(dialog), (ProgressBar{0, 100, 0}));
    });
    CloseDialog(steps);
    EXPECT_TRUE(Run(std::move(steps)));
}

TEST_F(FwUpgradeDlgTest, ReloadSendsTheEndCommandAndCheckTransfersTheNewFirmware) {
    switch_->Plug();
    std::vector<DrivenTrayDlg::Step> steps;
    OpenDialog(
        steps, [&] { return window_.FirmwareVersion() == "1.10"; },
        [&](HWND dialog) {
            EXPECT_EQ(VersionShown(dialog), "1.10");
            // The version query went out again as the dialog opened.
            const std::vector<Report> opening = TakeReports();
            ASSERT_GE(opening.size(), 2u);
            EXPECT_EQ(std::vector<Report>(opening.end() - 2, opening.end()),
                      (std::vector<Report>{{9, 4, 0, 0, 0, 0, 0, 0}, {9, 4, 7, 0, 0, 0, 0, 0}}));

            SendMessageA(GetDlgItem(dialog, IDC_RELOAD), BM_CLICK, 0, 0);
            EXPECT_EQ(TakeReports(),
                      (std::vector<Report>{{9, 1, 8, 0, 0, 0, 0, 0}, {9, 1, 0xFE, 0, 0, 0, 0, 0}}));
            EXPECT_EQ(OwnedDialog(dialog), nullptr);
            EXPECT_EQ(VersionShown(dialog), "1.10");
            EXPECT_EQ(Progress(dialog), (ProgressBar{0, 100, 0}));

            Click(dialog, IDC_CHECK);
        });
    steps.push_back(AnswerBox(kQuestion, IDYES));
    steps.push_back(AnswerBox(kFinished, IDOK, [&] {
        EXPECT_EQ(Progress(dialog_), (ProgressBar{0, kRangeEnd, kPositionAfterTransfer}));
        // The version the switch told after the transfer.
        EXPECT_EQ(VersionShown(dialog_), "1.11");
        // The device type query, the begin command, the records, the end
        // command and the version query.
        const std::vector<Report> reports = TakeReports();
        ASSERT_GT(reports.size(), 7u);
        EXPECT_EQ(
            std::vector<Report>(reports.begin(), reports.begin() + 3),
            (std::vector<Report>{
                {9, 4, 3, 0, 0, 0, 0, 0}, {9, 4, 7, 0, 0, 0, 0, 0}, {9, 1, 8, 0, 0, 0, 0, 0}}));
        EXPECT_EQ(std::vector<Report>(reports.end() - 4, reports.end()),
                  (std::vector<Report>{{9, 1, 8, 0, 0, 0, 0, 0},
                                       {9, 1, 0xFE, 0, 0, 0, 0, 0},
                                       {9, 4, 0, 0, 0, 0, 0, 0},
                                       {9, 4, 7, 0, 0, 0, 0, 0}}));
    }));
    // A second check asks with the new version: up to date, and the switch
    // got nothing but the device type query.
    steps.push_back({[&] { return OwnedDialog(dialog_) == nullptr; },
                     [&] {
                         TakeReports();
                         Click(dialog_, IDC_CHECK);
                     }});
    steps.push_back(AnswerBox("Your Firmware is up-to-date!", IDOK));
    steps.push_back(
        {[&] { return OwnedDialog(dialog_) == nullptr; },
         [&] {
             EXPECT_EQ(TakeReports(), (std::vector<Report>{
                                          {9, 4, 3, 0, 0, 0, 0, 0},
                                          {9, 4, 7, 0, 0, 0, 0, 0},
                                      }));
             EXPECT_EQ(Progress(dialog_), (ProgressBar{0, kRangeEnd, kPositionAfterTransfer}));
         }});
    CloseDialog(steps);
    // Opened again once the switch told its new version, the dialog shows it.
    OpenDialog(
        steps, [&] { return window_.FirmwareVersion() == "1.11"; },
        [&](HWND dialog) { EXPECT_EQ(VersionShown(dialog), "1.11"); });
    CloseDialog(steps);

    EXPECT_TRUE(Run(std::move(steps)));
    const std::vector<hidsim::FirmwareRecord> records = switch_->Records();
    const std::vector<hidsim::FirmwareRecord> sample = SampleRecords();
    ASSERT_EQ(records.size(), 2050u);
    ASSERT_EQ(sample.size(), 2050u);
    for (size_t index = 0; index < records.size(); ++index) {
        ASSERT_EQ(records[index].type, sample[index].type) << "record " << index;
        ASSERT_EQ(records[index].declaredLength, sample[index].declaredLength)
            << "record " << index;
        ASSERT_EQ(records[index].text, sample[index].text) << "record " << index;
    }
    const std::vector<std::string> requests = service_.RequestLines();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].ends_with("/firmware/check.php?fw=1.10&swid=3&av=1.0.1&os=w HTTP/1.1"))
        << requests[0];
    EXPECT_TRUE(requests[1].ends_with("/firmware/check.php?fw=1.11&swid=3&av=1.0.1&os=w HTTP/1.1"))
        << requests[1];
}

}  // namespace
