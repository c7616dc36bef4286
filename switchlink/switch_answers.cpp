#include "switchlink/switch_answers.h"

#include <array>

#include "switchlink/switch_protocol.h"

namespace switchlink {
namespace {

// An answer fills bytes 0 to 5.
constexpr unsigned kAnswerLength = kValue3Byte + 1;

constexpr std::array<const char*, 3> kModelNames{
    "Pelorandix Type A1",  // device type 1
    "Pelorandix Type B1",  // device type 2
    "Pelorandix Type C1",  // device type 3
};
constexpr uint32_t kFirstDeviceType = 1;
constexpr const char* kUnknownModelName = "Unknown";

}  // namespace

std::optional<SwitchAnswer> DecodeAnswer(unsigned pipe, const uint8_t* report, unsigned length) {
    if (pipe != kSwitchPipe || report == nullptr || length < kAnswerLength ||
        report[kReportIdByte] != kTransferReportId) {
        return std::nullopt;
    }
    // Answer values are unsigned bytes widened to 32 bits.
    const uint32_t value1 = report[kValue1Byte];
    const uint32_t value2 = report[kValue2Byte];
    const uint32_t value3 = report[kValue3Byte];
    switch (report[kPayloadByte]) {
        case kAnswerFirmwareVersion:
            return FirmwareVersionAnswer{value2, value3};
        case kAnswerPortState:
            return PortStateAnswer{value2, value3};
        case kAnswerDeviceType:
            return DeviceTypeAnswer{value2};
        case kAnswerRecordStatus:
            return RecordStatusAnswer{value1};
        default:
            return std::nullopt;
    }
}

std::string FirmwareVersionText(uint32_t major, uint32_t minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

std::string ModelName(uint32_t deviceType) {
    if (deviceType < kFirstDeviceType || deviceType - kFirstDeviceType >= kModelNames.size()) {
        return kUnknownModelName;
    }
    return kModelNames[deviceType - kFirstDeviceType];
}

}  // namespace switchlink
