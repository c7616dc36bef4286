// The program's three settings in "./QVXSettings.ini": the hotkey table, the
// user-interface language and the rotate interval. The path is relative, so
// it names a file in the working directory of the moment of each call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/hotkey_table.h"

inline constexpr char kSettingsFilePath[] = "./QVXSettings.ini";
inline constexpr std::string_view kSettingsSection = "Settings";
inline constexpr std::string_view kHotkeysKey = "Hotkeys";
inline constexpr std::string_view kLanguageKey = "Language";
inline constexpr std::string_view kTimerKey = "Timer";

// "Language" and "Timer" are signed 32-bit little-endian integers.
inline constexpr std::size_t kIntSettingSize = 4;
static_assert(kIntSettingSize == sizeof(int32_t));

// Values of "Language": the index in the language list.
inline constexpr int32_t kLanguageGerman = 0;
inline constexpr int32_t kLanguageEnglish = 1;

// The rotate interval in seconds as the hotkeys page lets the user set it.
inline constexpr int32_t kMinRotateIntervalSeconds = 0;
inline constexpr int32_t kMaxRotateIntervalSeconds = 500;

// What the main window holds for a value that is missing or fails its test.
inline constexpr int32_t kDefaultLanguage = kLanguageEnglish;
inline constexpr int32_t kDefaultRotateIntervalSeconds = 10;
static_assert(kDefaultRotateIntervalSeconds > kMinRotateIntervalSeconds &&
              kDefaultRotateIntervalSeconds <= kMaxRotateIntervalSeconds);

struct Settings {
    HotkeyTable hotkeys = DefaultHotkeyTable();
    bool hotkeysStored = false;  // hotkeys came from the file (register them, name the ports)
    int32_t language = kDefaultLanguage;
    int32_t rotateInterval = kDefaultRotateIntervalSeconds;
};

// Each read gives nothing when the key is missing or fails its test. Stored
// values are returned as they are, also outside the ranges the pages allow.
std::optional<HotkeyTable> ReadHotkeys(const std::string& file = kSettingsFilePath);
std::optional<int32_t> ReadLanguage(const std::string& file = kSettingsFilePath);
std::optional<int32_t> ReadRotateInterval(const std::string& file = kSettingsFilePath);

// All three values, each replaced by its default when it cannot be read.
Settings LoadSettings(const std::string& file = kSettingsFilePath);

// True only when "Language" reads as German; a missing or other value means
// English.
bool StartsInGerman(const std::string& file = kSettingsFilePath);

// Writes "Hotkeys" and then "Timer"; true when both were written.
bool SaveHotkeysAndInterval(const HotkeyTable& hotkeys, int32_t rotateInterval,
                            const std::string& file = kSettingsFilePath);
bool SaveLanguage(int32_t language, const std::string& file = kSettingsFilePath);
