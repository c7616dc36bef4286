#include "settings/prefs_page_logic.h"

#include <cstdio>

namespace {

std::string EightHexDigits(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

bool IsLanguage(int64_t value) {
    return value == kLanguageGerman || value == kLanguageEnglish;
}

}  // namespace

SwitchStatusTexts FormatSwitchStatus(uint32_t serialNumber, uint32_t hardwareRevision,
                                     std::string_view firmwareVersion) {
    return {EightHexDigits(serialNumber), EightHexDigits(hardwareRevision),
            std::string(firmwareVersion)};
}

std::optional<int> LanguageListIndex(int32_t language) {
    if (!IsLanguage(language)) {
        return std::nullopt;
    }
    return language;
}

bool SaveLanguageChoice(int listIndex, const std::string& file) {
    if (!IsLanguage(listIndex)) {
        return false;
    }
    return SaveLanguage(listIndex, file);
}
