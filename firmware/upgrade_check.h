// The firmware upgrade dialog's logic: the switch's version text, the Check
// button (ask the update server, offer the new firmware, pass it to the
// switch) and the Reload button. The dialog derives from it and implements
// the view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "firmware/http_client.h"
#include "firmware/upgrade_view.h"
#include "switchlink/desktop.h"
#include "switchlink/switch_connection.h"

class FirmwareUpgrade {
  public:
    // The most the switch is ever sent: a larger image is refused whole.
    static constexpr size_t kMaxImageBytes = 16 * 1024 * 1024;
    // The most characters of an offered version the question shows.
    static constexpr size_t kMaxShownVersionLength = 64;

    FirmwareUpgrade(SwitchConnection& connection, Desktop& desktop, HttpClient& http,
                    UpgradeView& view);
    virtual ~FirmwareUpgrade() = default;
    FirmwareUpgrade(const FirmwareUpgrade&) = delete;
    FirmwareUpgrade& operator=(const FirmwareUpgrade&) = delete;

    // Asks the switch for its version and shows the text the connection holds
    // now (empty when the switch never told one); the answer comes later.
    void ShowSwitchVersion();
    // The Check button: asks the update server and, after the user's Yes,
    // transfers the new firmware. Returns once its last message box closed.
    void OnCheck();
    // The Reload button: the switch gets the end command alone.
    void OnReload();
    // While a check runs (its message boxes and the transfer's pauses, which
    // answer messages other programs send), OnCheck and OnReload do nothing.
    bool Checking() const { return checking_; }

    // The version text shown beside "Current Version:" and sent as fw.
    std::string m_strVersion = "0.0";

  protected:
    // Passes the image (the body after its first line) to the switch and tells
    // the outcome; `bodyLength` is the whole body's, for the progress bar.
    void RunFirmwareTransfer(std::string_view image, uint64_t bodyLength, size_t firstLineLength);

  private:
    // Shows a failure with the stop icon; the answer is closed first.
    void ShowFailure(const std::string& text);
    // Asks the switch for its version after a transfer and shows its answer,
    // or no version when none came in time; true when one came.
    bool ShowNewVersion();
    // Shows a version the switch told since ShowNewVersion waited in vain.
    void ShowVersionToldSince();
    void ShowUpToDate();
    // The question offering `version`, from the string table's template.
    std::string OfferQuestion(std::string_view version);

    SwitchConnection& connection_;
    Desktop& desktop_;
    HttpClient& http_;
    UpgradeView& view_;
    bool checking_ = false;
    // After the user's Yes: the view drops input given since before the check
    // tells how it ended.
    bool agreed_ = false;
    // The connection's count of version answers when ShowNewVersion gave up.
    std::optional<unsigned> versionAnswersAwaited_;
};
