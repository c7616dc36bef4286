// The hotkey table kept in the settings file: five entries of a key code, the
// hotkey control's modifier flags and a port name. Entries 0 to 3 belong to
// ports A to D, entry 4 to the rotation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr std::size_t kHotkeyEntryCount = 5;
inline constexpr std::size_t kNamedPortCount = 4;
inline constexpr std::size_t kRotateEntry = 4;

// Byte layout of one stored entry.
inline constexpr std::size_t kHotkeyKeyCodeOffset = 0;
inline constexpr std::size_t kHotkeyModifiersOffset = 2;
inline constexpr std::size_t kHotkeyNameOffset = 4;
inline constexpr std::size_t kHotkeyNameSize = 30;
inline constexpr std::size_t kHotkeyEntrySize = 34;
inline constexpr std::size_t kHotkeyTableSize = 170;

// A name keeps its terminating NUL inside the field.
inline constexpr std::size_t kHotkeyNameMaxLength = kHotkeyNameSize - 1;

static_assert(kHotkeyModifiersOffset == kHotkeyKeyCodeOffset + sizeof(uint16_t));
static_assert(kHotkeyNameOffset == kHotkeyModifiersOffset + sizeof(uint16_t));
static_assert(kHotkeyEntrySize == kHotkeyNameOffset + kHotkeyNameSize);
static_assert(kHotkeyTableSize == kHotkeyEntryCount * kHotkeyEntrySize);
static_assert(kNamedPortCount + 1 == kHotkeyEntryCount && kRotateEntry == kNamedPortCount);

struct HotkeyEntry {
    uint16_t keyCode = 0;    // virtual-key code, 0 for no key
    uint16_t modifiers = 0;  // hotkey control flags: 0x01 Shift, 0x02 Ctrl, 0x04 Alt, 0x08 ext.
    std::array<char, kHotkeyNameSize> name{};  // system code page text, NUL-terminated

    bool operator==(const HotkeyEntry&) const = default;
};

struct HotkeyTable {
    std::array<HotkeyEntry, kHotkeyEntryCount> entries{};

    bool operator==(const HotkeyTable&) const = default;
};

using HotkeyTableBytes = std::array<uint8_t, kHotkeyTableSize>;

HotkeyTableBytes EncodeHotkeyTable(const HotkeyTable& table);

// Every name of the result is terminated inside its field: a stored name
// without a NUL is cut to its first 29 bytes.
HotkeyTable DecodeHotkeyTable(const HotkeyTableBytes& bytes);

// "Port A" to "Port D" for ports 0 to 3: fixed, never translated.
std::string_view DefaultPortName(std::size_t port);

// The entry's name up to its NUL, never past the field.
std::string_view EntryName(const HotkeyEntry& entry);

// Stores text as the entry's name, cut to 29 bytes, and clears the rest of the
// field. The text also ends at an embedded NUL.
void SetEntryName(HotkeyEntry& entry, std::string_view text);

// True when the entry of this port holds exactly its default name.
bool HasDefaultName(const HotkeyEntry& entry, std::size_t port);

// The table used when the settings file holds none: no hotkeys, ports named
// "Port A" to "Port D", an empty rotation entry.
HotkeyTable DefaultHotkeyTable();
