// The hotkey table decoder on any 170 stored bytes (the input, cut or padded
// with zeros), and names set from the rest of the input: every decoded name
// ends inside its 30-byte field, keys and modifiers are the stored
// little-endian words, and a decoded table encodes and decodes to itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "settings/hotkey_table.h"

namespace {

constexpr std::size_t kEntrySize = 34;
constexpr std::size_t kNameOffset = 4;
constexpr std::size_t kNameSize = 30;
constexpr std::size_t kNameMaxLength = 29;
constexpr std::string_view kDefaultNames[] = {"Port A", "Port B", "Port C", "Port D"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    HotkeyTableBytes bytes{};
    std::copy_n(data, std::min(size, bytes.size()), bytes.begin());
    const HotkeyTable table = DecodeHotkeyTable(bytes);

    for (std::size_t i = 0; i < kHotkeyEntryCount; ++i) {
        const HotkeyEntry& entry = table.entries[i];
        const uint8_t* stored = bytes.data() + i * kEntrySize;
        FUZZ_CHECK(entry.keyCode == (stored[0] | stored[1] << 8));
        FUZZ_CHECK(entry.modifiers == (stored[2] | stored[3] << 8));
        const std::string_view storedName(reinterpret_cast<const char*>(stored + kNameOffset),
                                          kNameSize);
        const std::string_view name = EntryName(entry);
        FUZZ_CHECK(name.size() < kNameSize);
        FUZZ_CHECK(name == storedName.substr(0, std::min(storedName.find('\0'), kNameMaxLength)));
    }
    FUZZ_CHECK(DecodeHotkeyTable(EncodeHotkeyTable(table)) == table);

    // Names as the hotkeys page stores them: cut at a NUL and at 29 bytes.
    const std::string_view rest =
        size > bytes.size() ? std::string_view(reinterpret_cast<const char*>(data) + bytes.size(),
                                               size - bytes.size())
                            : std::string_view();
    HotkeyTable named = table;
    for (std::size_t port = 0; port < kNamedPortCount; ++port) {
        const std::string_view text = rest.substr(std::min(rest.size(), port * 8));
        SetEntryName(named.entries[port], text);
        FUZZ_CHECK(EntryName(named.entries[port]) ==
                   text.substr(0, std::min(text.find('\0'), kNameMaxLength)));
        FUZZ_CHECK(HasDefaultName(named.entries[port], port) ==
                   (EntryName(named.entries[port]) == kDefaultNames[port]));
    }
    FUZZ_CHECK(DecodeHotkeyTable(EncodeHotkeyTable(named)) == named);
    return 0;
}
