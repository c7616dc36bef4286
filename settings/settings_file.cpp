#include "settings/settings_file.h"

#include <array>

#include "settings/little_endian.h"
#include "settings/profile_file.h"

namespace {

std::optional<int32_t> ReadInt(std::string_view key, const std::string& file) {
    std::array<uint8_t, kIntSettingSize> bytes{};
    if (!ReadProfileStruct(kSettingsSection, key, bytes, file)) {
        return std::nullopt;
    }
    return LoadI32LE(bytes);
}

bool WriteInt(std::string_view key, int32_t value, const std::string& file) {
    std::array<uint8_t, kIntSettingSize> bytes{};
    StoreI32LE(bytes, value);
    return WriteProfileStruct(kSettingsSection, key, bytes, file);
}

}  // namespace

std::optional<HotkeyTable> ReadHotkeys(const std::string& file) {
    HotkeyTableBytes bytes{};
    if (!ReadProfileStruct(kSettingsSection, kHotkeysKey, bytes, file)) {
        return std::nullopt;
    }
    return DecodeHotkeyTable(bytes);
}

std::optional<int32_t> ReadLanguage(const std::string& file) {
    return ReadInt(kLanguageKey, file);
}

std::optional<int32_t> ReadRotateInterval(const std::string& file) {
    return ReadInt(kTimerKey, file);
}

Settings LoadSettings(const std::string& file) {
    Settings settings;
    if (auto hotkeys = ReadHotkeys(file)) {
        settings.hotkeys = *hotkeys;
        settings.hotkeysStored = true;
    }
    settings.language = ReadLanguage(file).value_or(kDefaultLanguage);
    settings.rotateInterval = ReadRotateInterval(file).value_or(kDefaultRotateIntervalSeconds);
    return settings;
}

bool StartsInGerman(const std::string& file) {
    return ReadLanguage(file) == kLanguageGerman;
}

bool SaveHotkeysAndInterval(const HotkeyTable& hotkeys, int32_t rotateInterval,
                            const std::string& file) {
    const HotkeyTableBytes bytes = EncodeHotkeyTable(hotkeys);
    const bool hotkeysWritten = WriteProfileStruct(kSettingsSection, kHotkeysKey, bytes, file);
    const bool intervalWritten = WriteInt(kTimerKey, rotateInterval, file);
    return hotkeysWritten && intervalWritten;
}

bool SaveLanguage(int32_t language, const std::string& file) {
    return WriteInt(kLanguageKey, language, file);
}
