#include "cli/command_run.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/perform_request.h"
#include "app/port_control.h"
#include "hid/testing/iowkit2_double.h"
#include "switchlink/testing/recording_desktop.h"

namespace cli {
namespace {

enum class Switch { kNone, kConfirms, kSilent };

struct Case {
    const char* name;
    Options options;
    Switch attached;
    // The switch had reported this port before the command.
    std::optional<uint8_t> reportedBefore;
    // Answers "starting" this often before it takes requests.
    int startingAnswers;
    bool windowOpen;
    // Answers this many requests, then none.
    int answers;
    int exitCode;
    // Standard output and error together.
    std::string printed;
};

// The running program played in-process: each request carried out by
// PerformRequest on the port commands over a stand-in HID layer, and the
// switch's port report, when it sends one, handed over during a pause.
class ProgramTarget final : public CommandTarget {
  public:
    explicit ProgramTarget(const Case& c) : case_(c) {
        IowKit2RegisterDeviceCallback(PortControl::OnDeviceEvent, control_.CallbackContext());
        if (c.attached == Switch::kNone) {
            return;
        }
        IowKit2Handle device = hid_.Plug();
        if (c.reportedBefore) {
            hid_.DeliverReport(device, 1, {9, 0, 2, 0, *c.reportedBefore, *c.reportedBefore});
        }
        hid_.onWrite = [this, device](const IowKit2Double::WriteRecord& write) {
            const std::vector<uint8_t>& bytes = write.bytes;
            if (case_.attached == Switch::kConfirms && bytes[0] == 9 && bytes[2] == 11) {
                hid_.PostReport(device, 1, {9, 0, 2, 0, bytes[3], bytes[4]});
            }
        };
    }

    remote::RemoteAnswer Perform(const remote::RemoteRequest& request) override {
        if (answered_++ >= case_.answers) {
            remote::RemoteAnswer none;
            none.reason = "Pelorandix Control Center does not answer";
            return none;
        }
        remote::ProgramState state = remote::ProgramState::kReady;
        if (startingLeft_-- > 0) {
            state = remote::ProgramState::kStarting;
        } else if (case_.windowOpen) {
            state = remote::ProgramState::kWindowOpen;
        }
        const size_t boxes = desktop_.EventsOf(RecordingDesktop::Event::Kind::MessageBox).size();
        return remote::PerformRequest(control_, request, state, [&] {
            return desktop_.EventsOf(RecordingDesktop::Event::Kind::MessageBox).size() > boxes;
        });
    }
    void Pause(unsigned) override { hid_.DispatchReports(); }

  private:
    const Case& case_;
    IowKit2Double hid_;
    RecordingDesktop desktop_;
    PortControl control_{desktop_};
    int startingLeft_ = case_.startingAnswers;
    int answered_ = 0;
};

TEST(RunCommandTest, ExitCodesAndMessages) {
    using enum Switch;
    const Options portC{Action::kSetPort, 2};
    const Options rotate{Action::kRotate};
    constexpr int kAll = 1000;
    const std::string switched = "Switched to port C.\n";
    const std::string notConfirmed = "pelorandix: the switch did not confirm port C\n";
    const std::string noAnswer = "pelorandix: Pelorandix Control Center does not answer\n";
    const std::string noSwitch = "pelorandix: no switch is connected\n";
    const std::string windowOpen =
        "pelorandix: Pelorandix Control Center has a window open; close it and try again\n";
    const std::string starting = "pelorandix: Pelorandix Control Center is starting\n";
    const Case cases[] = {
        {"confirmed", portC, kConfirms, {}, 0, false, kAll, 0, switched},
        {"not confirmed", portC, kSilent, {}, 0, false, kAll, 1, notConfirmed},
        {"a port report from before", portC, kSilent, 2, 0, false, kAll, 1, notConfirmed},
        {"the program stops answering", portC, kSilent, {}, 0, false, 1, 1, noAnswer},
        {"rotate without a switch", rotate, kNone, {}, 0, false, kAll, 1, noSwitch},
        {"a window open", portC, kConfirms, {}, 0, true, kAll, 1, windowOpen},
        {"started a moment later", portC, kConfirms, {}, 3, false, kAll, 0, switched},
        {"still starting", portC, kConfirms, {}, kAll, false, kAll, 1, starting},
    };
    for (const Case& c : cases) {
        ProgramTarget target(c);
        std::ostringstream printed;
        EXPECT_EQ(RunCommand(target, c.options, printed, printed), c.exitCode) << c.name;
        EXPECT_EQ(printed.str(), c.printed) << c.name;
    }
}

}  // namespace
}  // namespace cli
