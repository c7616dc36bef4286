// The port commands, the global hotkeys and the rotation of the tray
// controller: every way the user sets the switch's port ends here. The tray
// window derives from it and routes its menu commands, WM_HOTKEY and WM_TIMER
// to these members; all of it runs on the user-interface thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/hotkey_table.h"
#include "settings/pages_host.h"
#include "settings/settings_file.h"
#include "switchlink/desktop.h"
#include "switchlink/switch_connection.h"

class PortControl : public SwitchConnection, public PagesHost {
  public:
    // Hotkey ids: 1 to 4 set port A to D, 5 starts or stops the rotation.
    // Table entry i is registered as id i + 1.
    static constexpr int kFirstPortHotkeyId = kFirstHotkeyId;
    static constexpr int kRotateHotkeyId = 5;
    // The id the rotate timer is requested with.
    static constexpr unsigned kRotateTimerRequestedId = 1;
    // Every port command and hotkey waits this long before it acts.
    static constexpr unsigned kCommandWaitMilliseconds = 500;
    // The rotate timer's shortest period, so an interval of 0 steps once a second.
    static constexpr unsigned kMinRotatePeriodMilliseconds = 1000;
    // The longest period the platform's timers take (USER_TIMER_MAXIMUM).
    static constexpr unsigned kMaxTimerPeriodMilliseconds = 0x7FFFFFFF;
    // The caption of the program's message boxes.
    static constexpr char kMessageCaption[] = "Pelorandix";
    // Shown when the resource module has no string for a failed port change.
    static constexpr char kPortErrorText[] = "Error while setting new port";

    explicit PortControl(Desktop& desktop);

    // WM_HOTKEY, and the port and Rotate menu commands with their hotkey ids
    // (see HotkeyIdForCommand). Waits 500 ms first, always. Returns 0.
    int OnHotKey(int hotkeyId, unsigned secondParameter);
    // WM_TIMER: one rotate step when it is the running rotate timer's tick;
    // other timers of the window are left to the caller's default processing.
    void OnTimer(unsigned timerId);
    // Registers the five hotkeys of the table for the main window (ids 1 to 5)
    // once all five ids have let go of what they held, and names the four
    // port items. An entry without a key code registers nothing; of entries
    // with one combination only the first registers it.
    void RegisterHotkeys() override;
    // Why the id's hotkey did not work out at the last registration.
    HotkeyProblem HotkeyProblemOf(int hotkeyId) const override;
    // Hotkey control modifier flags (Shift 1, Ctrl 2, Alt 4) to RegisterHotKey's
    // (Alt 1, Ctrl 2, Shift 4). The control's extended-key flag (8) and any
    // higher bit are no modifiers and are left out.
    static unsigned MapHotkeyModifiers(unsigned storedModifiers);
    // The hotkey id a tray menu command stands for; 0 for other commands.
    static int HotkeyIdForCommand(unsigned commandId);
    // The rotate timer's period for an interval in seconds: at least 1 s (an
    // interval of 0 or below steps once a second), and never beyond the
    // platform's maximum.
    static unsigned RotatePeriodMilliseconds(int32_t intervalSeconds);

    // Takes the three values read at start-up; registers the hotkeys only
    // when the table came from the settings file.
    void ApplySettings(const Settings& settings);

    HotkeyTable& Hotkeys() override { return hotkeys_; }
    const HotkeyTable& Hotkeys() const { return hotkeys_; }
    int32_t RotateInterval() const { return rotateInterval_; }
    // Takes effect at the next start of the rotation.
    void SetRotateInterval(int32_t seconds) { rotateInterval_ = seconds; }
    // The interval itself, for the hotkeys page, which changes it in place.
    int32_t& RotateIntervalSetting() override { return rotateInterval_; }
    int32_t Language() const override { return language_; }
    // The switch's status, for the preferences page.
    uint32_t SerialNumber() const override { return SwitchConnection::SerialNumber(); }
    uint32_t HardwareRevision() const override { return SwitchConnection::HardwareRevision(); }
    const std::string& FirmwareVersion() const override {
        return SwitchConnection::FirmwareVersion();
    }
    void SetLanguage(int32_t language) { language_ = language; }
    bool IsRotating() const { return rotating_; }
    unsigned RotateTimerId() const { return rotateTimerId_; }

  private:
    void SetPort(uint32_t port);
    void ToggleRotation();
    void StopRotation();
    // Sends [9, 4, 11, port, second port]; shows the error box if it fails.
    void SendSetPort(uint32_t port, uint32_t secondPort);
    void ShowPortError();

    Desktop& desktop_;
    bool rotating_ = false;
    unsigned rotateTimerId_ = 0;
    int32_t rotateInterval_ = kDefaultRotateIntervalSeconds;
    int32_t language_ = kDefaultLanguage;
    HotkeyTable hotkeys_ = DefaultHotkeyTable();
    // Per table entry, from its last registration.
    std::array<HotkeyProblem, kHotkeyEntryCount> hotkeyProblems_{};
    // The port error box is open: further failures show no second one.
    bool errorBoxOpen_ = false;
};
