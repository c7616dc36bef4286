// The command target when no program runs: the switch taken for this call
// alone, with no window shown, no tray icon, no hotkey and no setting
// written. The HID layer runs on the calling thread (its hidden window needs
// the thread's messages dispatched, which Perform and Pause do) and is shut
// down when the object goes.
#pragma once

#include <functional>
#include <string>

#include "app/port_control.h"
#include "cli/command_run.h"
#include "switchlink/desktop.h"

namespace cli {

// The port commands' desktop without a desktop: the waits are real, the
// menu, the timers and the hotkeys are not there, and the port error is
// only noted.
class ConsoleDesktop final : public Desktop {
  public:
    bool PortErrorRaised() const { return portErrorRaised_; }
    void ForgetPortError() { portErrorRaised_ = false; }

    void SleepFor(unsigned milliseconds) override;
    void SleepHandlingReports(unsigned milliseconds, const std::function<bool()>& done) override;
    void SetMenuItemChecked(unsigned, bool) override {}
    void SetMenuItemText(unsigned, const std::string&) override {}
    void DisableMenuItem(unsigned) override {}
    void SendUpdateStatus() override {}
    unsigned StartTimer(unsigned, unsigned) override { return 0; }
    void StopTimer(unsigned) override {}
    bool RegisterHotkey(int, unsigned, unsigned) override { return false; }
    void UnregisterHotkey(int) override {}
    std::string LoadResourceString(unsigned) override { return {}; }
    void ShowMessageBox(const std::string&, const std::string&) override {
        portErrorRaised_ = true;
    }

  private:
    bool portErrorRaised_ = false;
};

class OneShotTarget final : public CommandTarget {
  public:
    // Starts the layer (its platform and carrier installed before), lets its
    // first scan run and, when that found the switch, waits a moment for its
    // first answers.
    OneShotTarget();
    ~OneShotTarget() override;
    OneShotTarget(const OneShotTarget&) = delete;
    OneShotTarget& operator=(const OneShotTarget&) = delete;

    remote::RemoteAnswer Perform(const remote::RemoteRequest& request) override;
    void Pause(unsigned milliseconds) override;

  private:
    ConsoleDesktop desktop_;
    PortControl control_{desktop_};
    bool layerStarted_ = false;
};

}  // namespace cli
