// The firmware transfer on any image: which lines go to the switch as
// records, the reports each becomes, the progress bar's range and positions,
// the pauses, and the stop at a record status that is not 0. The switch (the
// HID layer's test double) answers each status query at once with a status
// from the input. Everything is compared with a model built from the image's
// bytes and the report layout.
//
// Input: the told body length, the first line's length and the record
// statuses from the end (FuzzedDataProvider), the image.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/firmware_transfer.h"
#include "firmware/testing/recording_upgrade_view.h"
#include "fuzz/fuzz_check.h"
#include "hid/testing/iowkit2_double.h"
#include "switchlink/testing/recording_desktop.h"

namespace {

using ViewEvent = RecordingUpgradeView::Event;

constexpr std::size_t kReportLength = 8;
constexpr std::size_t kChunkSize = 6;
constexpr unsigned kChunkPause = 1;
constexpr unsigned kSettlePause = 2000;
constexpr std::array<uint8_t, kReportLength> kStatusFollowUp{9, 4, 7};

// The reports the switch is to get, one after the other, each padded to the
// report length: one flat buffer, as an image of many short lines makes
// thousands of them.
class ExpectedReports {
  public:
    void Add(std::initializer_list<uint8_t> start, std::string_view rest = {}) {
        const std::size_t at = bytes_.size();
        bytes_.insert(bytes_.end(), start);
        bytes_.insert(bytes_.end(), rest.begin(), rest.end());
        bytes_.resize(at + kReportLength);
    }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

// What the device got, in the same form; any write that went elsewhere or
// was not a whole report fails the check.
std::vector<uint8_t> WrittenTo(const IowKit2Double& hid, IowKit2Handle device) {
    std::vector<uint8_t> bytes;
    for (const IowKit2Double::WriteRecord& write : hid.Writes()) {
        FUZZ_CHECK(write.device == device && write.pipe == 1 &&
                   write.bytes.size() == kReportLength);
        bytes.insert(bytes.end(), write.bytes.begin(), write.bytes.end());
    }
    return bytes;
}

// The image's lines as the transfer reads them: a line feed ends one, the
// last needs none, carriage returns are left out.
std::vector<std::string> Lines(std::string_view image) {
    std::vector<std::string> lines;
    while (!image.empty()) {
        const std::size_t end = std::min(image.find('\n'), image.size());
        std::string line;
        for (char c : image.substr(0, end)) {
            if (c != '\r') {
                line += c;
            }
        }
        lines.push_back(line);
        image.remove_prefix(std::min(end + 1, image.size()));
    }
    return lines;
}

std::optional<uint8_t> RecordType(std::string_view line) {
    if (line.starts_with("S0")) {
        return 240;
    }
    if (line.starts_with("S1")) {
        return 241;
    }
    if (line.starts_with("S9")) {
        return 242;
    }
    return std::nullopt;
}

// The header, the chunks and the status query with its follow-up.
void AppendRecordReports(std::string_view line, uint8_t type, ExpectedReports& reports) {
    const uint8_t headerControl = type == 240 ? 0xC3 : 0xC2;
    reports.Add({9, headerControl, type, static_cast<uint8_t>(line.size())});
    for (std::size_t at = 0; at < line.size(); at += kChunkSize) {
        const std::size_t count = std::min(kChunkSize, line.size() - at);
        const bool last = at + count == line.size();
        reports.Add({9, static_cast<uint8_t>(last ? 0x80 + count : 0xC6)}, line.substr(at, count));
    }
    reports.Add({9, 4, 255});
    reports.Add({9, 4, 7});
}

// Every record's status is answered at once: a transfer that met no
// refusal had each record confirmed.
std::string ExpectedOutcome(uint32_t result) {
    return result == 0 ? "Firmware Upgrade finished"
                       : "Firmware Upgrade Error " + std::to_string(result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t firstLineLength = input.ConsumeIntegralInRange<std::size_t>(0, 1 << 20);
    const uint8_t lengthChoice = input.ConsumeIntegral<uint8_t>();
    const uint64_t anyLength = input.ConsumeIntegral<uint64_t>();
    const std::vector<uint8_t> statuses =
        input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange(0, 8));
    const std::string image = input.ConsumeRemainingBytesAsString();
    // The body's length as the server told it: the first line, its line feed
    // and the image, or any other.
    const uint64_t bodyLength =
        lengthChoice < 192 ? firstLineLength + 1 + image.size() + lengthChoice % 3 : anyLength;

    IowKit2Double hid;
    RecordingDesktop desktop;
    RecordingUpgradeView view;
    SwitchConnection connection(desktop);
    FUZZ_CHECK(IowKit2RegisterDeviceCallback(SwitchConnection::OnDeviceEvent,
                                             connection.CallbackContext()) == 0);
    const IowKit2Handle device = hid.Plug();
    const IowKit2ReadCallback answer = hid.ReadCallback(device, 1);
    FUZZ_CHECK(answer != nullptr);
    hid.ClearWrites();
    desktop.ClearEvents();

    // The switch answers a status query's follow-up with the next status.
    std::size_t queries = 0;
    hid.onWrite = [&](const IowKit2Double::WriteRecord& write) {
        if (std::equal(write.bytes.begin(), write.bytes.end(), kStatusFollowUp.begin(),
                       kStatusFollowUp.end())) {
            const uint8_t status = queries < statuses.size() ? statuses[queries] : 0;
            ++queries;
            const uint8_t report[kReportLength] = {9, 4, 255, status};
            answer(device, 1, report, kReportLength, connection.CallbackContext());
        }
    };

    // The model.
    const int64_t firstLine = static_cast<int64_t>(firstLineLength) + 1;
    const int end = bodyLength > static_cast<uint64_t>(firstLine)
                        ? static_cast<int>(std::min<uint64_t>(bodyLength - firstLine, INT_MAX))
                        : 0;
    ExpectedReports reports;
    reports.Add({9, 1, 8});
    std::vector<ViewEvent> events{ViewEvent::Range(end), ViewEvent::Position(0),
                                  ViewEvent::TransferStarting()};
    std::vector<unsigned> pauses;
    uint32_t result = 0;
    std::size_t records = 0;
    int64_t position = 0;
    for (const std::string& line : Lines(image)) {
        if (result != 0) {
            break;
        }
        if (const auto type = RecordType(line)) {
            AppendRecordReports(line, *type, reports);
            pauses.insert(pauses.end(), (line.size() + kChunkSize - 1) / kChunkSize + 1,
                          kChunkPause);
            result = records < statuses.size() ? statuses[records] : 0;
            ++records;
        }
        position = std::min<int64_t>(position + static_cast<int64_t>(line.size()) + 2, end);
        events.push_back(ViewEvent::Position(static_cast<int>(position)));
    }
    reports.Add({9, 1, 8});
    reports.Add({9, 1, 254});
    events.push_back(ViewEvent::TransferEnded());
    pauses.push_back(kSettlePause);

    const firmware::TransferResult got = firmware::TransferImage(
        image, firmware::TransferProgress(bodyLength, firstLineLength), connection, desktop, view);
    const std::size_t confirmed = result == 0 ? records : records - 1;
    FUZZ_CHECK(got == (firmware::TransferResult{firmware::TransferResult::Kind::Ran, result,
                                                records, confirmed}));
    FUZZ_CHECK(WrittenTo(hid, device) == reports.Bytes());
    FUZZ_CHECK(view.Events() == events);
    FUZZ_CHECK(view.Lowest() == 0);
    FUZZ_CHECK(desktop.Sleeps() == pauses);
    FUZZ_CHECK(firmware::OutcomeOf(got, true).text == ExpectedOutcome(got.status));
    return 0;
}
