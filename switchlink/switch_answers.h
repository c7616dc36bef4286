// Decoding of the switch's answers (input reports on the special-mode pipe)
// and the tables that give them meaning.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace switchlink {

struct FirmwareVersionAnswer {
    uint32_t major = 0;
    uint32_t minor = 0;
};
struct PortStateAnswer {
    uint32_t port = 0;
    uint32_t secondPort = 0;
};
struct DeviceTypeAnswer {
    uint32_t deviceType = 0;
};
struct RecordStatusAnswer {
    uint32_t status = 0;  // 0: the record was taken; else the switch's error code
};

using SwitchAnswer =
    std::variant<FirmwareVersionAnswer, PortStateAnswer, DeviceTypeAnswer, RecordStatusAnswer>;

// Decodes an input report of the given pipe and length. Reports from another
// pipe, with another report id, with an unknown answer code, or too short to
// hold an answer give nullopt.
std::optional<SwitchAnswer> DecodeAnswer(unsigned pipe, const uint8_t* report, unsigned length);

// "major.minor" in decimal, e.g. "1.10".
std::string FirmwareVersionText(uint32_t major, uint32_t minor);

// The model name of a device type; "Unknown" for a type the program does not know.
std::string ModelName(uint32_t deviceType);

}  // namespace switchlink
