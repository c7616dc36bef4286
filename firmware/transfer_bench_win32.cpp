// Passes the 64 KiB sample image to the virtual switch through the HID layer
// (simulated bus, hidden-window carrier) as the dialog's transfer does, with
// the program's own pauses at 1 ms timer resolution, and prints how long it
// took, up to the switch's new version, against the sum of its fixed waits.
// Not a test: run it by hand under Wine.
//   transfer_bench.exe [--hid-stack] [image.s19]
// --hid-stack: the switch is one of a running pelorandix-bus.exe, met through
// Wine's own HID stack (beside the cfgmgr32 stand-in, as scripts/measure runs it).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

#include "firmware/testing/fake_http_client.h"
#include "firmware/testing/recording_upgrade_view.h"
#include "firmware/timer_resolution_win32.h"
#include "firmware/upgrade_check.h"
#include "hid/iowkit2.h"
#include "hid/platform.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/virtual_switch.h"
#include "hid/win32/install.h"
#include "hid/win32/serving_sleep.h"
#include "switchlink/testing/recording_desktop.h"

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr char kSampleImage[] = PELO_SAMPLE_IMAGES "/1.11.s19";
// The update server's first line before the image, and its line break.
constexpr char kOfferedVersion[] = "1.11";
constexpr size_t kFirstLineBreak = 2;
constexpr auto kAnswerLimit = std::chrono::seconds(10);

// Waits as the program does and adds up the fixed waits (those that do not
// end at an answer).
class SleepingDesktop : public RecordingDesktop {
  public:
    void SleepHandlingReports(unsigned milliseconds, const std::function<bool()>& done) override {
        IowKit2SleepServingHandOvers(milliseconds, done);
        if (!done) {
            fixedMilliseconds += milliseconds;
        }
    }
    unsigned long long fixedMilliseconds = 0;
};

// Holds the 1 ms timer resolution for the records, as the dialog does.
class TimedView : public RecordingUpgradeView {
  public:
    void TransferStarting() override { resolution_.emplace(); }
    void TransferEnded() override { resolution_.reset(); }

  private:
    std::optional<ScopedTimerResolution> resolution_;
};

class BenchUpgrade : public FirmwareUpgrade {
  public:
    using FirmwareUpgrade::FirmwareUpgrade;
    using FirmwareUpgrade::RunFirmwareTransfer;
};

// Dispatches the thread's messages (the switch's answers) until `done` holds.
bool PumpUntil(const std::function<bool()>& done) {
    const Clock::time_point deadline = Clock::now() + kAnswerLimit;
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool hidStack = argc > 1 && std::string(argv[1]) == "--hid-stack";
    const char* path = argc > 1 + hidStack ? argv[1 + hidStack] : kSampleImage;
    std::ifstream file(path, std::ios::binary);
    const std::string image{std::istreambuf_iterator<char>(file), {}};
    if (image.empty()) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }

    auto bus = hidsim::Bus::Make(hidsim::Clock::kReal);
    auto device = hidsim::VirtualSwitch::Make(bus);
    if (hidStack) {
        IowKit2InstallWin32Platform();
    } else {
        device->Plug();
        IowKit2InstallPlatform(bus->MakePlatform());
    }
    IowKit2InstallWindowCarrier();

    SleepingDesktop desktop;
    SwitchConnection connection(desktop);
    FakeHttpClient unused;
    TimedView view;
    BenchUpgrade upgrade(connection, desktop, unused, view);
    IowKit2RegisterDeviceCallback(SwitchConnection::OnDeviceEvent, connection.CallbackContext());
    if (!PumpUntil([&] { return !connection.FirmwareVersion().empty(); })) {
        std::fprintf(stderr, "the switch did not answer\n");
        return 1;
    }
    const std::string before = connection.FirmwareVersion();

    desktop.fixedMilliseconds = 0;
    const Clock::time_point start = Clock::now();
    upgrade.RunFirmwareTransfer(image, sizeof(kOfferedVersion) - 1 + kFirstLineBreak + image.size(),
                                sizeof(kOfferedVersion) - 1);
    const Milliseconds took = Clock::now() - start;

    // The transfer ends once the switch told its new version.
    const size_t records = device->Records().size();
    const std::vector<RecordingUpgradeView::Event> messages =
        view.EventsOf(RecordingUpgradeView::Event::Kind::Message);
    IowKit2Shutdown();

    const double waits = static_cast<double>(desktop.fixedMilliseconds);
    std::printf("image        %s, %zu bytes", path, image.size());
    if (!hidStack) {
        std::printf(", %zu records taken by the switch", records);
    }
    std::printf("\n");
    std::printf("outcome      %s; version %s before, %s after\n",
                messages.empty() ? "(no message)" : messages.back().text.c_str(), before.c_str(),
                connection.FirmwareVersion().c_str());
    std::printf("transfer     %.0f ms, to the switch's new version\n", took.count());
    std::printf("fixed waits  %.0f ms\n", waits);
    std::printf("overhead     %.0f ms (%.1f%% over the waits, %.2fx)\n", took.count() - waits,
                100.0 * (took.count() - waits) / waits, took.count() / waits);
    return 0;
}
