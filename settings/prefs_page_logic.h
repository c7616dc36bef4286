// What the preferences page shows and writes: the switch's status texts and
// the language list's selection.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_file.h"

// Every status label shows this until the switch's first answer.
inline constexpr char kNoStatusText[] = "-";

struct SwitchStatusTexts {
    std::string serialNumber = kNoStatusText;
    std::string hardwareRevision = kNoStatusText;
    std::string firmwareVersion = kNoStatusText;

    bool operator==(const SwitchStatusTexts&) const = default;
};

// Serial number and revision as eight upper-case hexadecimal digits, the
// firmware version text unchanged.
SwitchStatusTexts FormatSwitchStatus(uint32_t serialNumber, uint32_t hardwareRevision,
                                     std::string_view firmwareVersion);

// The language list's entry for a "Language" value: 0 "Deutsch", 1
// "English"; any other value selects nothing.
std::optional<int> LanguageListIndex(int32_t language);

// Writes the chosen entry of the language list as "Language" at once. An
// index that is no entry (no selection) writes nothing and gives false.
bool SaveLanguageChoice(int listIndex, const std::string& file = kSettingsFilePath);
