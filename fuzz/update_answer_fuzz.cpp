// The update server's answer: read through the answer reader from a
// scripted HTTP client (blocks of any size, any told length or none, a
// failing read at any point, a small size limit), its first line judged, the
// rest split into lines. The first line is the body up to its first line
// feed with the carriage returns taken out; the rest is every byte after it,
// as it came; "too large" only when a limit was really passed; "wrong length"
// only when a told length was not what came; the query path carries the
// first line as it is. Then the Check button on the same answer: up to date,
// a body that ended within its first line at a wrong length refused, or the
// question showing the offered version and, after a Yes, an image too large
// refused. (The user says Yes only to those: passing an image to the switch
// is the firmware transfer target's part.)
//
// Input: the client's settings from the end (FuzzedDataProvider), the body.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/answer_reader.h"
#include "firmware/testing/fake_http_client.h"
#include "firmware/testing/recording_upgrade_view.h"
#include "firmware/update_query.h"
#include "firmware/upgrade_check.h"
#include "fuzz/fuzz_check.h"
#include "hid/testing/iowkit2_double.h"
#include "resources/resource.h"
#include "switchlink/testing/recording_desktop.h"

using firmware::AnswerReader;
using Message = RecordingUpgradeView::Event;
using Kind = UpgradeView::MessageKind;

namespace {

constexpr char kUpToDate[] = "Your Firmware is up-to-date!";
constexpr std::string_view kQuestionStart = "There is a new Firmware available (v";
constexpr std::string_view kQuestionEnd = ")! Do you want to upgarde the switch?";
constexpr uint64_t kMaxImageBytes = 16 * 1024 * 1024;

std::string WithoutCr(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c != '\r') {
            out += c;
        }
    }
    return out;
}

// The offered version as the question shows it: control characters as "?",
// at most 64 characters, "..." for the rest.
std::string Shown(std::string_view version) {
    std::string shown;
    for (char c : version.substr(0, 64)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
    return version.size() > 64 ? shown + "..." : shown;
}

// The text of a body that ended at another length than told.
std::string WrongLength(uint64_t received, uint64_t told) {
    return (received < told ? "The download of the firmware ended early: "
                            : "The download of the firmware is longer than declared: ") +
           std::to_string(received) + " of " + std::to_string(told) +
           " bytes arrived. Nothing was sent to the switch.";
}

// The Check button without a switch.
void CheckButton(const std::string& body, std::optional<uint64_t> told, std::size_t blockSize) {
    IowKit2Double hid;
    RecordingDesktop desktop;
    desktop.strings = {{IDS_FIRMWARE_UP_TO_DATE, kUpToDate},
                       {IDS_FIRMWARE_NEW_AVAILABLE,
                        std::string(kQuestionStart) + "%s" + std::string(kQuestionEnd)},
                       {IDS_APP_VERSION, "1.0.1"}};
    SwitchConnection connection(desktop);
    FUZZ_CHECK(IowKit2RegisterDeviceCallback(SwitchConnection::OnDeviceEvent,
                                             connection.CallbackContext()) == 0);
    const std::size_t lineFeed = body.find('\n');
    const uint64_t taken = lineFeed == std::string::npos ? body.size() : lineFeed + 1;
    const bool tooLarge = told && *told > taken && *told - taken > kMaxImageBytes;
    // The first line's read comes to the body's end only without a line feed.
    const bool endsAtWrongLength = lineFeed == std::string::npos && told && *told != body.size();
    RecordingUpgradeView view;
    view.answer = tooLarge ? UpgradeView::Answer::Yes : UpgradeView::Answer::No;
    FakeHttpClient http;
    http.body = body;
    http.toldLength = told;
    http.declaresLength = told.has_value();
    http.blockSize = blockSize;
    FirmwareUpgrade upgrade(connection, desktop, http, view);
    upgrade.OnCheck();

    FUZZ_CHECK(http.calls.size() >= 3 &&
               http.calls[1] == "Get /firmware/check.php?fw=0.0&swid=0&av=1.0.1&os=w");
    FUZZ_CHECK(!http.open);
    const std::string firstLine = WithoutCr(std::string_view(body).substr(0, lineFeed));
    std::vector<Message> expected;
    if (endsAtWrongLength) {
        expected.push_back(Message::Message(WrongLength(body.size(), *told), Kind::Error));
    } else if (firstLine.starts_with("NULL")) {
        expected.push_back(Message::Message(kUpToDate, Kind::Ok));
    } else {
        expected.push_back(Message::Message(
            std::string(kQuestionStart) + Shown(firstLine) + std::string(kQuestionEnd),
            Kind::YesNo));
        if (tooLarge) {
            expected.push_back(Message::Message(
                "The firmware image is larger than 16 MiB. Nothing was sent to the switch.",
                Kind::Error));
        }
    }
    FUZZ_CHECK(view.EventsOf(Message::Kind::Message) == expected);
    FUZZ_CHECK(view.EventsOf(Message::Kind::TransferStarting).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    FakeHttpClient http;
    http.blockSize = input.ConsumeIntegralInRange<std::size_t>(1, 64);
    const std::size_t limit = input.ConsumeIntegralInRange<std::size_t>(0, 512);
    const uint8_t lengthChoice = input.ConsumeIntegral<uint8_t>();
    const uint64_t anyLength = input.ConsumeIntegral<uint64_t>();
    const bool failRead = input.ConsumeBool();
    http.failReadAfter = input.ConsumeIntegralInRange<std::size_t>(0, 1024);
    const bool declaresNoLength = input.ConsumeBool();
    http.body = input.ConsumeRemainingBytesAsString();
    const std::string& body = http.body;
    // Told its own length, a shorter or longer one, or any; or none at all.
    std::optional<uint64_t> told =
        lengthChoice < 128   ? body.size()
        : lengthChoice < 192 ? body.size() - std::min<std::size_t>(body.size(), lengthChoice - 128)
        : lengthChoice < 255 ? body.size() + (lengthChoice - 192) * 64
                             : anyLength;
    if (declaresNoLength) {
        told.reset();
    }
    if (failRead) {
        http.failAt = FakeHttpClient::Step::Read;
    }
    CheckButton(http.body, told, http.blockSize);
    FUZZ_CHECK(http.Open() && http.Get("/"));
    const bool canFail = failRead && http.failReadAfter <= body.size();
    const bool toldOtherLength = told && *told != body.size();

    AnswerReader reader(http, told, limit);
    std::string firstLine = "unset";
    const AnswerReader::Status first = reader.ReadFirstLine(firstLine);
    const std::size_t lineFeed = body.find('\n');
    const std::size_t firstLineBytes = lineFeed == std::string::npos ? body.size() : lineFeed;
    if (first == AnswerReader::Status::Failed) {
        FUZZ_CHECK(canFail);
        return 0;
    }
    if (first == AnswerReader::Status::TooLarge) {
        FUZZ_CHECK(firstLineBytes > limit);
        return 0;
    }
    if (first == AnswerReader::Status::WrongLength) {
        FUZZ_CHECK(lineFeed == std::string::npos && toldOtherLength && body.size() <= limit);
        return 0;
    }
    FUZZ_CHECK(lineFeed != std::string::npos || !toldOtherLength);
    FUZZ_CHECK(firstLine == WithoutCr(std::string_view(body).substr(0, firstLineBytes)));
    FUZZ_CHECK(firmware::IsUpToDate(firstLine) == (firstLine.substr(0, 4) == "NULL"));

    const std::string path = firmware::UpdateQueryPath(firstLine, 3, "1.0.1");
    const std::string shown = firstLine.substr(0, firstLine.find('\0'));
    FUZZ_CHECK(path == "/firmware/check.php?fw=" + shown + "&swid=3&av=1.0.1&os=w");

    std::string rest = "unset";
    const AnswerReader::Status restStatus = reader.ReadRest(rest);
    const std::string_view expectedRest = lineFeed == std::string::npos
                                              ? std::string_view()
                                              : std::string_view(body).substr(lineFeed + 1);
    const uint64_t taken = lineFeed == std::string::npos ? body.size() : lineFeed + 1;
    const bool toldTooLarge = told && *told > taken && *told - taken > limit;
    switch (restStatus) {
        case AnswerReader::Status::Failed:
            FUZZ_CHECK(canFail);
            return 0;
        case AnswerReader::Status::TooLarge:
            FUZZ_CHECK(toldTooLarge || expectedRest.size() > limit);
            return 0;
        case AnswerReader::Status::WrongLength:
            FUZZ_CHECK(toldOtherLength && !toldTooLarge && expectedRest.size() <= limit);
            return 0;
        case AnswerReader::Status::Ok:
            FUZZ_CHECK(!toldTooLarge && !toldOtherLength && rest == expectedRest &&
                       rest.size() <= limit && reader.Received() == body.size());
            break;
    }

    // The lines of the rest, joined again, are the rest without carriage
    // returns (and without a last line feed).
    std::string_view remaining = rest;
    std::string line;
    std::string joined;
    std::size_t lines = 0;
    while (firmware::TakeLine(remaining, line)) {
        FUZZ_CHECK(line.find('\r') == std::string::npos && line.find('\n') == std::string::npos);
        joined += (lines++ == 0 ? "" : "\n") + line;
    }
    const std::string flat = WithoutCr(rest);
    FUZZ_CHECK(flat == (rest.ends_with('\n') ? joined + "\n" : joined));
    FUZZ_CHECK(lines == static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\n')) +
                            (!rest.empty() && !rest.ends_with('\n')));
    return 0;
}
