// The profile-struct encoding of a fixed-size block as a profile value: two
// upper-case hex digits per byte, high nibble first, then the sum of the bytes
// modulo 256 as two more digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

inline constexpr std::size_t kProfileStructDigitsPerByte = 2;
inline constexpr std::size_t kProfileStructChecksumDigits = 2;

constexpr std::size_t ProfileStructValueLength(std::size_t blockSize) {
    return blockSize * kProfileStructDigitsPerByte + kProfileStructChecksumDigits;
}

std::string EncodeProfileStruct(std::span<const uint8_t> block);

// Fills block from value. Succeeds only for exactly ProfileStructValueLength
// hex digits (either case) whose checksum matches; on failure block is left
// as it was.
bool DecodeProfileStruct(std::string_view value, std::span<uint8_t> block);
