#include "settings/hotkey_table.h"

#include <algorithm>
#include <span>

#include "settings/little_endian.h"

namespace {

constexpr std::array<std::string_view, kNamedPortCount> kDefaultPortNames = {"Port A", "Port B",
                                                                             "Port C", "Port D"};

}  // namespace

HotkeyTableBytes EncodeHotkeyTable(const HotkeyTable& table) {
    HotkeyTableBytes bytes{};
    for (std::size_t i = 0; i < kHotkeyEntryCount; ++i) {
        const HotkeyEntry& entry = table.entries[i];
        const auto out = std::span(bytes).subspan(i * kHotkeyEntrySize, kHotkeyEntrySize);
        StoreU16LE(out.subspan<kHotkeyKeyCodeOffset, 2>(), entry.keyCode);
        StoreU16LE(out.subspan<kHotkeyModifiersOffset, 2>(), entry.modifiers);
        std::transform(entry.name.begin(), entry.name.end(), out.begin() + kHotkeyNameOffset,
                       [](char c) { return static_cast<uint8_t>(c); });
    }
    return bytes;
}

HotkeyTable DecodeHotkeyTable(const HotkeyTableBytes& bytes) {
    HotkeyTable table;
    for (std::size_t i = 0; i < kHotkeyEntryCount; ++i) {
        HotkeyEntry& entry = table.entries[i];
        const auto in = std::span(bytes).subspan(i * kHotkeyEntrySize, kHotkeyEntrySize);
        entry.keyCode = LoadU16LE(in.subspan<kHotkeyKeyCodeOffset, 2>());
        entry.modifiers = LoadU16LE(in.subspan<kHotkeyModifiersOffset, 2>());
        std::transform(in.begin() + kHotkeyNameOffset, in.end(), entry.name.begin(),
                       [](uint8_t b) { return static_cast<char>(b); });
        if (std::find(entry.name.begin(), entry.name.end(), '\0') == entry.name.end()) {
            entry.name.back() = '\0';
        }
    }
    return table;
}

std::string_view DefaultPortName(std::size_t port) {
    return kDefaultPortNames.at(port);
}

std::string_view EntryName(const HotkeyEntry& entry) {
    const auto end = std::find(entry.name.begin(), entry.name.end(), '\0');
    return std::string_view(entry.name.data(), static_cast<std::size_t>(end - entry.name.begin()));
}

void SetEntryName(HotkeyEntry& entry, std::string_view text) {
    text = text.substr(0, std::min(text.find('\0'), kHotkeyNameMaxLength));
    entry.name.fill('\0');
    std::copy(text.begin(), text.end(), entry.name.begin());
}

bool HasDefaultName(const HotkeyEntry& entry, std::size_t port) {
    return EntryName(entry) == DefaultPortName(port);
}

HotkeyTable DefaultHotkeyTable() {
    HotkeyTable table;
    for (std::size_t port = 0; port < kNamedPortCount; ++port) {
        SetEntryName(table.entries[port], DefaultPortName(port));
    }
    return table;
}
