#include "hid/serial_number.h"

#include <cctype>
#include <cstring>

namespace {

// The platform's string 0 is fetched into a buffer this long.
constexpr uint32_t kIndexedStringBytes = 512;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

void IowKit2ReadSerialNumber(IowKit2Probe& probe, char16_t (&field)[kIowKit2SerialUnits]) {
    std::memset(field, 0, sizeof field);
    if (!probe.GetSerialNumberString(field, sizeof field)) {
        std::memset(field, 0, sizeof field);
        return;
    }
    uint8_t stringZero[kIndexedStringBytes] = {};
    probe.GetIndexedString(0, stringZero, sizeof stringZero);
    if (std::memcmp(field, stringZero, sizeof field) == 0) {
        std::memset(field, 0, sizeof field);
    }
}

uint32_t IowKit2ParseSerialNumber(const char16_t (&field)[kIowKit2SerialUnits]) {
    char text[kIowKit2SerialUnits + 1] = {};
    for (unsigned i = 0; i < kIowKit2SerialUnits && field[i] != 0; ++i) {
        text[i] = static_cast<char>(field[i] & 0xFF);
    }
    const char* at = text;
    while (std::isspace(static_cast<unsigned char>(*at))) {
        ++at;
    }
    bool negative = false;
    if (*at == '+' || *at == '-') {
        negative = *at == '-';
        ++at;
    }
    if (at[0] == '0' && (at[1] == 'x' || at[1] == 'X') && HexDigit(at[2]) >= 0) {
        at += 2;
    }
    uint32_t value = 0;
    for (; HexDigit(*at) >= 0; ++at) {
        value = value * 16 + static_cast<uint32_t>(HexDigit(*at));
    }
    return negative ? 0u - value : value;
}
