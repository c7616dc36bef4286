// The switch's state as --status reports it, and its JSON form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class PortControl;

namespace remote {

// What is known of the switch; nothing but `connected` and `rotating` while
// no switch is held. Texts as the preferences page and the tray menu show
// them.
struct SwitchState {
    bool connected = false;
    std::optional<std::string> model;
    std::optional<uint32_t> port;
    std::optional<uint32_t> secondPort;
    std::optional<std::string> firmwareVersion;
    std::optional<std::string> hardwareRevision;
    std::optional<std::string> serialNumber;
    bool rotating = false;

    bool operator==(const SwitchState&) const = default;
};

// The state of the switch `control` holds; a value the switch has not
// reported yet is left out.
SwitchState DescribeSwitch(const PortControl& control);

// The port's letter, "A" to "D".
std::string PortLetter(uint32_t port);

// One line of JSON: {"connected":true,"model":"...","port":"C",
// "secondPort":"A","firmwareVersion":"1.10","hardwareRevision":"00001012",
// "serialNumber":"1A2B3C4D","rotating":false}; null for what is not known,
// ports as letters (null beyond D).
std::string StateJson(const SwitchState& state);

}  // namespace remote
