// The settings codec and INI editor on a whole settings file: each of the
// program's three keys is read, written with a new value and read back. Each
// write must read back exactly and may change only the key's own line; after
// the three, the keys and sections the text's first lines name must read as
// before.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "settings/hotkey_table.h"
#include "settings/profile_struct.h"
#include "settings/profile_text.h"
#include "settings/settings_file.h"

namespace {

struct SettingsKey {
    std::string_view name;
    std::size_t blockSize;
};

constexpr std::array<SettingsKey, 3> kKeys{{
    {kHotkeysKey, kHotkeyTableSize},
    {kLanguageKey, kIntSettingSize},
    {kTimerKey, kIntSettingSize},
}};

constexpr uint8_t kUntouched = 0xA5;

struct ProfileName {
    std::string section;
    std::string key;
};

bool IsSettingsKey(std::string_view section, std::string_view key) {
    return SameAsciiName(section, kSettingsSection) &&
           std::any_of(kKeys.begin(), kKeys.end(),
                       [&](const SettingsKey& own) { return SameAsciiName(key, own.name); });
}

// The section and key names the first lines of the text seem to hold, from a
// rough reading of its own: a name may also find nothing, and must then
// still find nothing after the writes. Each lookup reads the whole text, so
// there are only a few.
std::vector<ProfileName> OtherNames(std::string_view text) {
    constexpr std::size_t kMaxLines = 16;
    constexpr std::size_t kMaxNames = 4;
    constexpr std::string_view kBlanks = " \t\v\f";
    const auto trim = [&](std::string_view s) {
        const auto first = s.find_first_not_of(kBlanks);
        return first == std::string_view::npos
                   ? std::string_view()
                   : s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
    };
    std::vector<ProfileName> names;
    std::string section;
    for (std::size_t count = 0; !text.empty() && count < kMaxLines && names.size() < kMaxNames;
         ++count) {
        const auto end = text.find_first_of("\r\n");
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const auto close = line.rfind(']');
        if (line.starts_with('[') && close != std::string_view::npos) {
            section = trim(line.substr(1, close - 1));
        } else if (!line.empty()) {
            std::string key(trim(line.substr(0, line.find('='))));
            if (!IsSettingsKey(section, key)) {
                names.push_back({section, std::move(key)});
            }
        }
    }
    return names;
}

std::vector<std::optional<std::string>> Values(std::string_view text,
                                               const std::vector<ProfileName>& names) {
    std::vector<std::optional<std::string>> values;
    for (const ProfileName& name : names) {
        const auto value = FindProfileValue(text, name.section, name.key);
        values.push_back(value ? std::optional<std::string>(*value) : std::nullopt);
    }
    return values;
}

// What a write removed of the old text lies within one line, its line end
// included: every other line keeps its bytes.
void CheckAtMostOneLineReplaced(std::string_view before, std::string_view after) {
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
        ++suffix;
    }
    const std::string_view removed = before.substr(prefix, before.size() - prefix - suffix);
    const auto lineEnd = removed.find_first_of("\r\n");
    if (lineEnd != std::string_view::npos) {
        const std::string_view end = removed.substr(lineEnd);
        FUZZ_CHECK(end == "\r" || end == "\n" || end == "\r\n");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<ProfileName> names = OtherNames(text);
    const auto before = Values(text, names);
    std::vector<std::vector<uint8_t>> written;

    for (const SettingsKey& key : kKeys) {
        // The read, as the program does it; a failed one leaves the block alone.
        std::vector<uint8_t> block(key.blockSize, kUntouched);
        const auto stored = FindProfileValue(text, kSettingsSection, key.name);
        const bool read = stored && DecodeProfileStruct(*stored, block);
        if (read) {
            FUZZ_CHECK(stored->size() == 2 * key.blockSize + 2);
        } else {
            FUZZ_CHECK(block == std::vector<uint8_t>(key.blockSize, kUntouched));
        }

        // A write of another value, read back.
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<uint8_t>(read ? block[i] + 1 : i * 7 + size);
        }
        const std::string value = EncodeProfileStruct(block);
        FUZZ_CHECK(value.size() == 2 * key.blockSize + 2);
        std::string updated = SetProfileValue(text, kSettingsSection, key.name, value);
        const auto back = FindProfileValue(updated, kSettingsSection, key.name);
        FUZZ_CHECK(back && *back == value);
        std::vector<uint8_t> reread(key.blockSize);
        FUZZ_CHECK(DecodeProfileStruct(*back, reread) && reread == block);
        CheckAtMostOneLineReplaced(text, updated);

        written.push_back(block);
        text = std::move(updated);
    }

    // After the three writes each key still reads as written, every other
    // lookup as before.
    for (std::size_t k = 0; k < kKeys.size(); ++k) {
        std::vector<uint8_t> block(kKeys[k].blockSize);
        const auto stored = FindProfileValue(text, kSettingsSection, kKeys[k].name);
        FUZZ_CHECK(stored && DecodeProfileStruct(*stored, block) && block == written[k]);
    }
    FUZZ_CHECK(Values(text, names) == before);
    return 0;
}
