#include "firmware/firmware_transfer.h"

#include <algorithm>
#include <array>
#include <limits>

#include "firmware/update_query.h"
#include "switchlink/switch_protocol.h"

namespace firmware {

namespace {

constexpr std::string_view kS0Prefix = "S0";
constexpr std::string_view kS1Prefix = "S1";
constexpr std::string_view kS9Prefix = "S9";

constexpr char kFinishedMessage[] = "Firmware Upgrade finished";
constexpr char kErrorMessagePrefix[] = "Firmware Upgrade Error ";
// The record statuses that are named to the user; any other non-zero status
// ends the transfer without a message.
constexpr std::array<uint32_t, 6> kReportedErrors{2, 3, 4, 5, 6, 10};

// Bytes a line break counts for the progress: one after the first line, two
// after every other.
constexpr int64_t kFirstLineBreak = 1;
constexpr int64_t kLineBreak = 2;

constexpr int64_t kMaxPosition = std::numeric_limits<int>::max();

}  // namespace

std::optional<uint8_t> RecordTypeOf(std::string_view line) {
    if (line.starts_with(kS0Prefix)) {
        return switchlink::kRecordTypeS0;
    }
    if (line.starts_with(kS1Prefix)) {
        return kRecordTypeS1;
    }
    if (line.starts_with(kS9Prefix)) {
        return kRecordTypeS9;
    }
    return std::nullopt;
}

std::optional<std::string> OutcomeMessage(uint32_t result) {
    if (result == 0) {
        return kFinishedMessage;
    }
    if (std::find(kReportedErrors.begin(), kReportedErrors.end(), result) !=
        kReportedErrors.end()) {
        return kErrorMessagePrefix + std::to_string(result);
    }
    return std::nullopt;
}

TransferProgress::TransferProgress(uint64_t bodyLength, size_t firstLineLength) {
    // A body too short for its own first line has nothing to show: the range
    // is then empty rather than reversed.
    const uint64_t firstLine = uint64_t{firstLineLength} + kFirstLineBreak;
    if (bodyLength > firstLine) {
        end_ = static_cast<int>(std::min<uint64_t>(bodyLength - firstLine, kMaxPosition));
    }
}

int TransferProgress::Advance(size_t lineLength) {
    const int64_t step = static_cast<int64_t>(std::min<size_t>(lineLength, kMaxPosition));
    position_ = static_cast<int>(std::min<int64_t>(position_ + step + kLineBreak, end_));
    return position_;
}

TransferResult TransferImage(std::string_view image, TransferProgress progress,
                             SwitchConnection& connection, Desktop& desktop, UpgradeView& view) {
    if (!connection.HasSwitch()) {
        return {TransferResult::Kind::NotConnected};
    }
    view.SetProgressRange(0, progress.End());
    view.SetProgressPosition(0);
    view.TransferStarting();
    bool written = connection.BeginFirmwareTransfer() != 0;

    std::string line;
    while (written && TakeLine(image, line)) {
        if (connection.TransferStatus() != 0) {
            break;
        }
        if (const std::optional<uint8_t> type = RecordTypeOf(line)) {
            written = connection.SendFirmwareRecord(line, *type);
            if (!written) {
                break;
            }
        }
        view.SetProgressPosition(progress.Advance(line.size()));
    }

    // Also after a failed write: a switch that is still there leaves its
    // transfer mode.
    connection.EndFirmwareTransfer();
    view.TransferEnded();
    if (!written) {
        return {TransferResult::Kind::WriteFailed};
    }
    // A status the switch answers only now still counts.
    desktop.SleepHandlingReports(kSettleMilliseconds, nullptr);
    return {TransferResult::Kind::Ran, connection.TransferStatus()};
}

}  // namespace firmware
