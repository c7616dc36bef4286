#include "settings/profile_struct.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::optional<uint8_t> HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<uint8_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

// Two digits starting at value[at], high nibble first.
std::optional<uint8_t> HexByteAt(std::string_view value, std::size_t at) {
    const auto high = HexDigitValue(value[at]);
    const auto low = HexDigitValue(value[at + 1]);
    if (!high || !low) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(*high << 4 | *low);
}

void AppendHexByte(std::string& out, uint8_t byte) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

}  // namespace

std::string EncodeProfileStruct(std::span<const uint8_t> block) {
    std::string value;
    value.reserve(ProfileStructValueLength(block.size()));
    uint8_t checksum = 0;
    for (const uint8_t byte : block) {
        AppendHexByte(value, byte);
        checksum = static_cast<uint8_t>(checksum + byte);
    }
    AppendHexByte(value, checksum);
    return value;
}

bool DecodeProfileStruct(std::string_view value, std::span<uint8_t> block) {
    if (value.size() != ProfileStructValueLength(block.size())) {
        return false;
    }
    std::vector<uint8_t> decoded(block.size());
    uint8_t checksum = 0;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        const auto byte = HexByteAt(value, i * kProfileStructDigitsPerByte);
        if (!byte) {
            return false;
        }
        decoded[i] = *byte;
        checksum = static_cast<uint8_t>(checksum + *byte);
    }
    const auto stored = HexByteAt(value, decoded.size() * kProfileStructDigitsPerByte);
    if (!stored || *stored != checksum) {
        return false;
    }
    std::copy(decoded.begin(), decoded.end(), block.begin());
    return true;
}
