#include "firmware/firmware_transfer.h"

#include <algorithm>
#include <limits>

#include "firmware/update_query.h"
#include "switchlink/switch_protocol.h"

namespace firmware {

namespace {

constexpr std::string_view kS0Prefix = "S0";
constexpr std::string_view kS1Prefix = "S1";
constexpr std::string_view kS9Prefix = "S9";

constexpr char kFinishedMessage[] = "Firmware Upgrade finished";
constexpr char kVersionNotReported[] = ", but the switch has not reported its new version yet";
constexpr char kErrorMessagePrefix[] = "Firmware Upgrade Error ";
constexpr char kNotConnectedMessage[] = "Firmware Upgrade failed: the switch is not connected";
constexpr char kWriteFailedMessage[] = "Firmware Upgrade failed: the switch did not take the data";
constexpr char kUnconfirmedPrefix[] = "Firmware Upgrade failed: the switch confirmed ";
constexpr char kUnconfirmedOf[] = " of ";
constexpr char kUnconfirmedSuffix[] = " records; its firmware may be incomplete";

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

TransferOutcome OutcomeOf(const TransferResult& result, bool versionReported) {
    using Kind = UpgradeView::MessageKind;
    switch (result.kind) {
        case TransferResult::Kind::NotConnected:
            return {kNotConnectedMessage, Kind::Error};
        case TransferResult::Kind::WriteFailed:
            return {kWriteFailedMessage, Kind::Error};
        case TransferResult::Kind::Ran:
            break;
    }
    if (result.status != 0) {
        return {kErrorMessagePrefix + std::to_string(result.status), Kind::Ok};
    }
    // Answers are not matched to queries: a switch that answered some twice
    // still confirmed no more records than it got.
    if (result.recordsConfirmed < result.recordsSent) {
        return {kUnconfirmedPrefix + std::to_string(result.recordsConfirmed) + kUnconfirmedOf +
                    std::to_string(result.recordsSent) + kUnconfirmedSuffix,
                Kind::Error};
    }
    return {
        versionReported ? kFinishedMessage : std::string(kFinishedMessage) + kVersionNotReported,
        Kind::Ok};
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

    size_t records = 0;
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
            ++records;
        }
        view.SetProgressPosition(progress.Advance(line.size()));
    }

    // Also after a failed write: a switch that is still there leaves its
    // transfer mode.
    const bool ended = connection.EndFirmwareTransfer();
    view.TransferEnded();
    if (!written || !ended) {
        return {TransferResult::Kind::WriteFailed};
    }
    // The answers to the last records, and a status the switch answers only
    // now, still count.
    desktop.SleepHandlingReports(kSettleMilliseconds, nullptr);
    return {TransferResult::Kind::Ran, connection.TransferStatus(), records,
            connection.ConfirmedRecords()};
}

}  // namespace firmware
