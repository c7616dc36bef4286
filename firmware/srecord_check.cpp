#include "firmware/srecord_check.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "firmware/firmware_transfer.h"
#include "firmware/update_query.h"
#include "switchlink/switch_protocol.h"

namespace firmware {

namespace {

constexpr size_t kTypeLength = 2;
constexpr size_t kDigitsPerByte = 2;
constexpr int kHexBase = 16;
constexpr size_t kCountBytes = 1;
// Every record the switch takes has a 16-bit address.
constexpr size_t kAddressBytes = 2;
constexpr size_t kChecksumBytes = 1;
constexpr unsigned kLowByte = 0xFF;

// Two hexadecimal digits as a byte; false for anything else.
bool ParseByte(std::string_view digits, uint8_t& byte) {
    const char* last = digits.data() + digits.size();
    const auto [end, error] = std::from_chars(digits.data(), last, byte, kHexBase);
    return error == std::errc() && end == last;
}

}  // namespace

bool IsWholeSRecord(std::string_view line) {
    if (line.size() < kTypeLength || (line.size() - kTypeLength) % kDigitsPerByte != 0) {
        return false;
    }
    const std::string_view digits = line.substr(kTypeLength);
    const size_t byteCount = digits.size() / kDigitsPerByte;
    if (byteCount < kCountBytes + kAddressBytes + kChecksumBytes) {
        return false;
    }
    unsigned sum = 0;  // of every byte before the checksum
    uint8_t byte = 0;
    for (size_t index = 0; index < byteCount; ++index) {
        if (!ParseByte(digits.substr(index * kDigitsPerByte, kDigitsPerByte), byte)) {
            return false;
        }
        if (index == 0 && byte != byteCount - kCountBytes) {
            return false;
        }
        if (index + kChecksumBytes < byteCount) {
            sum += byte;
        }
    }
    // The last byte read is the checksum.
    return (~sum & kLowByte) == byte;
}

ImageCheck CheckImage(std::string_view image, size_t firstLineNumber) {
    std::optional<uint8_t> lastType;
    bool anyData = false;
    std::string line;
    for (size_t number = firstLineNumber; TakeLine(image, line); ++number) {
        const std::optional<uint8_t> type = RecordTypeOf(line);
        if (!type) {
            continue;
        }
        if (!IsWholeSRecord(line)) {
            return {ImageCheck::Verdict::DamagedRecord, number};
        }
        if (line.size() > switchlink::kMaxRecordLength) {
            return {ImageCheck::Verdict::TooLong, number};
        }
        lastType = type;
        anyData = anyData || *type == kRecordTypeS1;
    }
    if (!lastType) {
        return {ImageCheck::Verdict::NoRecords};
    }
    if (!anyData) {
        return {ImageCheck::Verdict::NoData};
    }
    return {*lastType == kRecordTypeS9 ? ImageCheck::Verdict::Ok : ImageCheck::Verdict::NoEnd};
}

}  // namespace firmware
