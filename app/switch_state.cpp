#include "app/switch_state.h"

#include <cstdio>

#include "app/port_control.h"
#include "settings/prefs_page_logic.h"

namespace remote {

std::string PortLetter(uint32_t port) {
    return std::string(1, static_cast<char>('A' + port));
}
namespace {

std::optional<uint32_t> KnownPort(uint32_t port) {
    if (port == SwitchConnection::kUnknownPort) {
        return std::nullopt;
    }
    return port;
}

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string JsonText(const std::optional<std::string>& text) {
    return text ? JsonString(*text) : "null";
}

std::string JsonPort(const std::optional<uint32_t>& port) {
    return port && *port < switchlink::kPortCount ? JsonString(PortLetter(*port)) : "null";
}

std::string JsonBool(bool value) {
    return value ? "true" : "false";
}

}  // namespace

SwitchState DescribeSwitch(const PortControl& control) {
    SwitchState state;
    state.connected = control.HasSwitch();
    state.rotating = control.IsRotating();
    if (!state.connected) {
        return state;
    }
    if (control.DeviceType() != SwitchConnection::kUnknownDeviceType) {
        state.model = SwitchConnection::GetModelName(control.DeviceType());
    }
    state.port = KnownPort(control.CurrentPort());
    state.secondPort = KnownPort(control.SecondPort());
    const SwitchStatusTexts texts = FormatSwitchStatus(
        control.SerialNumber(), control.HardwareRevision(), control.FirmwareVersion());
    if (control.VersionAnswerCount() > 0) {
        state.firmwareVersion = texts.firmwareVersion;
    }
    state.hardwareRevision = texts.hardwareRevision;
    state.serialNumber = texts.serialNumber;
    return state;
}

std::string StateJson(const SwitchState& state) {
    return "{\"connected\":" + JsonBool(state.connected) + ",\"model\":" + JsonText(state.model) +
           ",\"port\":" + JsonPort(state.port) + ",\"secondPort\":" + JsonPort(state.secondPort) +
           ",\"firmwareVersion\":" + JsonText(state.firmwareVersion) +
           ",\"hardwareRevision\":" + JsonText(state.hardwareRevision) +
           ",\"serialNumber\":" + JsonText(state.serialNumber) +
           ",\"rotating\":" + JsonBool(state.rotating) + "}";
}

}  // namespace remote
