#include "hid/sim/switch_console.h"

#include <charconv>
#include <optional>
#include <vector>

namespace hidsim {
namespace {

constexpr std::string_view kToSwitchMark = ">";
constexpr std::string_view kFromSwitchMark = "<";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// The switch's special-mode interface, the pipe the program talks to.
constexpr unsigned kCommandPipe = 1;
constexpr unsigned kLastPort = 3;
constexpr unsigned kLargestStatus = 255;

constexpr std::string_view kOk = "ok";
constexpr std::string_view kStatusUsage = "status takes numbers from 0 to 255, e.g. status 3 0";
constexpr std::string_view kCommandList =
    "commands: unplug | plug | fail-writes on|off | status N [N ...] (next record statuses, "
    "0-255) | status-answers on|off (off: record statuses go unanswered) | button P (the "
    "switch's port button, P 0-3) | help";

std::string Error(std::string_view what) {
    return "error: " + std::string(what);
}

constexpr std::string_view kSpaces = " \t\r\n";

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(kSpaces);
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(kSpaces);
    return text.substr(first, last - first + 1);
}

// Splits off the first word; the rest is trimmed.
std::string_view TakeWord(std::string_view& text) {
    text = Trim(text);
    const size_t end = text.find_first_of(kSpaces);
    const std::string_view word = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : Trim(text.substr(end));
    return word;
}

// A decimal number no larger than `largest`, nothing else.
std::optional<unsigned> ParseNumber(std::string_view word, unsigned largest) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || error != std::errc() || end != word.data() + word.size() ||
        value > largest) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string WireLogLine(Direction direction, const uint8_t* report, size_t size) {
    std::string line(direction == Direction::kToSwitch ? kToSwitchMark : kFromSwitchMark);
    for (size_t index = 0; index < size; ++index) {
        line += ' ';
        line += kHexDigits[report[index] >> 4];
        line += kHexDigits[report[index] & 0x0F];
    }
    return line;
}

SwitchConsole::SwitchConsole(std::shared_ptr<VirtualSwitch> device) : device_(std::move(device)) {}

std::string SwitchConsole::Execute(std::string_view line) {
    std::string_view arguments = line;
    const std::string_view command = TakeWord(arguments);
    if (command.empty()) {
        return {};
    }
    if (command == "help") {
        return std::string(kCommandList);
    }
    if (command == "status") {
        return ScriptStatuses(arguments);
    }
    if (command == "status-answers") {
        return StatusAnswers(arguments);
    }
    if (command == "button") {
        return PressButton(arguments);
    }
    if (command == "fail-writes") {
        return FailWrites(arguments);
    }
    if (!arguments.empty() && (command == "plug" || command == "unplug")) {
        return Error(std::string(command) + " takes nothing after it; " +
                     std::string(kCommandList));
    }
    if (command == "plug") {
        return Plug();
    }
    if (command == "unplug") {
        return Unplug();
    }
    return Error("unknown command \"" + std::string(command) + "\"; " + std::string(kCommandList));
}

std::string SwitchConsole::Plug() {
    if (device_->IsPlugged()) {
        return std::string(kOk) + " (already plugged)";
    }
    device_->Plug();
    // A new device comes with every plug: it fails writes if so asked before.
    ApplyFailWrites();
    return std::string(kOk);
}

std::string SwitchConsole::Unplug() {
    if (!device_->IsPlugged()) {
        return std::string(kOk) + " (already unplugged)";
    }
    device_->Unplug();
    return std::string(kOk);
}

std::string SwitchConsole::FailWrites(std::string_view setting) {
    if (setting == "on" || setting == "off") {
        failWrites_ = setting == "on";
        ApplyFailWrites();
        return std::string(kOk);
    }
    return Error("fail-writes takes on or off");
}

void SwitchConsole::ApplyFailWrites() {
    if (std::shared_ptr<Device> device = device_->CurrentDevice()) {
        device->GetInterface(kCommandPipe).FailWrites(failWrites_);
    }
}

std::string SwitchConsole::ScriptStatuses(std::string_view arguments) {
    std::vector<uint8_t> statuses;
    while (!arguments.empty()) {
        const std::optional<unsigned> status = ParseNumber(TakeWord(arguments), kLargestStatus);
        if (!status) {
            return Error(kStatusUsage);
        }
        statuses.push_back(static_cast<uint8_t>(*status));
    }
    if (statuses.empty()) {
        return Error(kStatusUsage);
    }
    device_->ScriptRecordStatuses(statuses);
    return std::string(kOk);
}

std::string SwitchConsole::StatusAnswers(std::string_view setting) {
    if (setting == "on" || setting == "off") {
        device_->AnswerRecordStatuses(setting == "on");
        return std::string(kOk);
    }
    return Error("status-answers takes on or off");
}

std::string SwitchConsole::PressButton(std::string_view arguments) {
    const std::optional<unsigned> port = ParseNumber(arguments, kLastPort);
    if (!port) {
        return Error("button takes a port from 0 to 3 (A to D)");
    }
    if (!device_->IsPlugged()) {
        return Error("the switch is unplugged; plug it first");
    }
    device_->PressPortButton(static_cast<uint8_t>(*port));
    return std::string(kOk);
}

}  // namespace hidsim
