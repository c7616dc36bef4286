#include "app/remote_request.h"

#include <charconv>
#include <map>

#include "switchlink/switch_protocol.h"

namespace remote {
namespace {

constexpr std::string_view kStatusRequest = "status";
constexpr std::string_view kRotateRequest = "rotate";
constexpr std::string_view kPortRequest = "port ";

constexpr std::string_view kTrue = "1";
constexpr char kLineEnd = '\n';
constexpr char kSeparator = '=';

std::optional<uint32_t> Number(std::string_view text) {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// A value may not break its line.
std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return line;
}

void Put(std::string& text, std::string_view name, std::string_view value) {
    text.append(name).append(1, kSeparator).append(OneLine(value)).append(1, kLineEnd);
}

void PutKnown(std::string& text, std::string_view name, const std::optional<std::string>& value) {
    if (value) {
        Put(text, name, *value);
    }
}

void PutKnown(std::string& text, std::string_view name, const std::optional<uint32_t>& value) {
    if (value) {
        Put(text, name, std::to_string(*value));
    }
}

std::string_view Flag(bool value) {
    return value ? kTrue : "0";
}

}  // namespace

std::string EncodeRequest(const RemoteRequest& request) {
    switch (request.command) {
        case Command::kSetPort:
            return std::string(kPortRequest) + std::to_string(request.port);
        case Command::kRotate:
            return std::string(kRotateRequest);
        case Command::kStatus:
            break;
    }
    return std::string(kStatusRequest);
}

std::optional<RemoteRequest> DecodeRequest(std::string_view text) {
    if (text == kStatusRequest) {
        return RemoteRequest{Command::kStatus};
    }
    if (text == kRotateRequest) {
        return RemoteRequest{Command::kRotate};
    }
    if (text.starts_with(kPortRequest)) {
        const std::optional<uint32_t> port = Number(text.substr(kPortRequest.size()));
        if (port && *port < switchlink::kPortCount) {
            return RemoteRequest{Command::kSetPort, *port};
        }
    }
    return std::nullopt;
}

std::string EncodeAnswer(const RemoteAnswer& answer) {
    std::string text;
    Put(text, "done", Flag(answer.done));
    if (answer.starting) {
        Put(text, "starting", kTrue);
    }
    if (!answer.reason.empty()) {
        Put(text, "reason", answer.reason);
    }
    Put(text, "portReportsBefore", std::to_string(answer.portReportsBefore));
    const SwitchState& state = answer.state;
    Put(text, "connected", Flag(state.connected));
    PutKnown(text, "model", state.model);
    PutKnown(text, "port", state.port);
    PutKnown(text, "secondPort", state.secondPort);
    PutKnown(text, "firmwareVersion", state.firmwareVersion);
    PutKnown(text, "hardwareRevision", state.hardwareRevision);
    PutKnown(text, "serialNumber", state.serialNumber);
    Put(text, "rotating", Flag(state.rotating));
    return text;
}

std::optional<RemoteAnswer> DecodeAnswer(std::string_view text) {
    std::map<std::string, std::string, std::less<>> values;
    while (!text.empty()) {
        const size_t end = text.find(kLineEnd);
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const size_t separator = line.find(kSeparator);
        if (separator == std::string_view::npos) {
            return std::nullopt;
        }
        values[std::string(line.substr(0, separator))] = line.substr(separator + 1);
    }
    const auto textOf = [&](std::string_view name) -> std::optional<std::string> {
        const auto found = values.find(name);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    };
    const auto numberOf = [&](std::string_view name) -> std::optional<uint32_t> {
        const std::optional<std::string> value = textOf(name);
        return value ? Number(*value) : std::nullopt;
    };
    const std::optional<std::string> done = textOf("done");
    const std::optional<uint32_t> before = numberOf("portReportsBefore");
    if (!done || !before) {
        return std::nullopt;
    }
    RemoteAnswer answer;
    answer.done = *done == kTrue;
    answer.starting = textOf("starting") == kTrue;
    answer.reason = textOf("reason").value_or("");
    answer.portReportsBefore = *before;
    SwitchState& state = answer.state;
    state.connected = textOf("connected") == kTrue;
    state.model = textOf("model");
    state.port = numberOf("port");
    state.secondPort = numberOf("secondPort");
    state.firmwareVersion = textOf("firmwareVersion");
    state.hardwareRevision = textOf("hardwareRevision");
    state.serialNumber = textOf("serialNumber");
    state.rotating = textOf("rotating") == kTrue;
    return answer;
}

}  // namespace remote
