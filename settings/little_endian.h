// Explicit little-endian storage of the integers in the settings blocks, so
// the file layout never depends on the host's byte order or struct padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

inline void StoreU16LE(std::span<uint8_t, 2> out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value & 0xFF);
    out[1] = static_cast<uint8_t>(value >> 8);
}

inline uint16_t LoadU16LE(std::span<const uint8_t, 2> in) {
    return static_cast<uint16_t>(in[0] | (in[1] << 8));
}

inline void StoreI32LE(std::span<uint8_t, 4> out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) {
        out[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

inline int32_t LoadI32LE(std::span<const uint8_t, 4> in) {
    uint32_t bits = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        bits |= static_cast<uint32_t>(in[i]) << (8 * i);
    }
    return static_cast<int32_t>(bits);
}
