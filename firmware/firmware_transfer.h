// Passing a firmware image to the switch: which lines are records, how the
// progress bar follows the lines, the loop between the begin and end
// commands, and the message that tells the outcome.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "firmware/upgrade_view.h"
#include "switchlink/desktop.h"
#include "switchlink/switch_connection.h"

namespace firmware {

// Caption of every message box of the firmware upgrade, in every language.
inline constexpr char kUpgradeCaption[] = "Firmware Upgrade";

// Record type bytes of the lines that go to the switch (S0 is the switch
// link's own constant, as its header differs).
inline constexpr uint8_t kRecordTypeS1 = 241;
inline constexpr uint8_t kRecordTypeS9 = 242;

// The switch's time after the end command, before its version is asked.
inline constexpr unsigned kSettleMilliseconds = 2000;
// The most the switch's version answer is waited for after the transfer: as
// long as a switch takes to restart (leave the bus and arrive again).
inline constexpr unsigned kRestartMilliseconds = 10000;

// How a transfer ended: it ran (with the first non-zero record status the
// switch answered during it, or 0, and how many of the records sent the
// switch confirmed with status 0), found no switch and sent nothing, or
// stopped at a write that failed (the end commands' too).
struct TransferResult {
    enum class Kind { Ran, NotConnected, WriteFailed };
    Kind kind = Kind::Ran;
    uint32_t status = 0;
    size_t recordsSent = 0;
    size_t recordsConfirmed = 0;
    bool operator==(const TransferResult&) const = default;
};

// The message that tells the user how a transfer ended.
struct TransferOutcome {
    std::string text;
    UpgradeView::MessageKind kind = UpgradeView::MessageKind::Ok;
    bool operator==(const TransferOutcome&) const = default;
};

// The record type of an S0, S1 or S9 line; any other line is not sent.
std::optional<uint8_t> RecordTypeOf(std::string_view line);

// "Firmware Upgrade finished" only when the switch confirmed every record
// sent; `versionReported`: the switch told its version after the transfer.
TransferOutcome OutcomeOf(const TransferResult& result, bool versionReported);

// The progress bar's range and position: the range covers the body after the
// first line (which counts one byte for its line break), every later line
// moves the bar by its length plus two for its line break, and the bar stops
// at the end of the range.
class TransferProgress {
  public:
    TransferProgress(uint64_t bodyLength, size_t firstLineLength);

    int End() const { return end_; }
    int Position() const { return position_; }
    // Moves on past a line of `lineLength` bytes; returns the new position.
    int Advance(size_t lineLength);

  private:
    int end_ = 0;
    int position_ = 0;
};

// Sends the image's records between the begin and end commands, with the
// progress on the view, and gives the switch its time afterwards. The
// switch's answers are decoded during the pauses: the transfer stops at the
// first line read once a record status is not 0, and at once when a write
// fails. Without a switch nothing is sent. The image's records must fit the
// switch (CheckImage).
TransferResult TransferImage(std::string_view image, TransferProgress progress,
                             SwitchConnection& connection, Desktop& desktop, UpgradeView& view);

}  // namespace firmware
