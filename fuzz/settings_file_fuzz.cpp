// The settings file as the program uses it: the fuzz input is the file's
// bytes, in a folder of this run's own; the three settings are loaded, saved
// with new values and loaded again. A UTF-16 file is neither read nor
// rewritten; any other reads as its text does and then back what was saved.
// (What a write does to the rest of the text is the codec's target's part.)
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "settings/file_store.h"
#include "settings/profile_struct.h"
#include "settings/profile_text.h"
#include "settings/settings_file.h"

namespace {

// A folder of this process's own, removed at exit.
class ScratchFolder {
  public:
    ScratchFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                              "/pelo-settings-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        folder_ = pattern;
        file_ = folder_ + "/QVXSettings.ini";
    }
    ~ScratchFolder() {
        unlink(file_.c_str());
        rmdir(folder_.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& File() const { return file_; }

  private:
    std::string folder_;
    std::string file_;
};

const std::string& SettingsFile() {
    static const ScratchFolder folder;
    return folder.File();
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    FUZZ_CHECK(std::fclose(file) == 0);
}

// Whether the key's value in the text decodes to a block of `size` bytes,
// and the block.
std::optional<std::string> BlockIn(std::string_view text, std::string_view key, std::size_t size) {
    const auto stored = FindProfileValue(text, kSettingsSection, key);
    std::string block(size, '\0');
    if (!stored ||
        !DecodeProfileStruct(*stored, {reinterpret_cast<uint8_t*>(block.data()), block.size()})) {
        return std::nullopt;
    }
    return block;
}

// A stored integer: four bytes, least significant first.
std::optional<int32_t> IntIn(std::string_view text, std::string_view key) {
    const auto block = BlockIn(text, key, kIntSettingSize);
    if (!block) {
        return std::nullopt;
    }
    uint32_t bits = 0;
    for (std::size_t i = 0; i < kIntSettingSize; ++i) {
        bits |= static_cast<uint32_t>(static_cast<uint8_t>((*block)[i])) << (8 * i);
    }
    return static_cast<int32_t>(bits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string& file = SettingsFile();
    const std::string text(reinterpret_cast<const char*>(data), size);
    WriteFile(file, text);
    const bool utf16 = text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF");

    const Settings loaded = LoadSettings(file);
    const auto language = utf16 ? std::nullopt : IntIn(text, kLanguageKey);
    const auto interval = utf16 ? std::nullopt : IntIn(text, kTimerKey);
    FUZZ_CHECK(loaded.language == language.value_or(1));
    FUZZ_CHECK(loaded.rotateInterval == interval.value_or(10));
    FUZZ_CHECK(loaded.hotkeysStored ==
               (!utf16 && BlockIn(text, kHotkeysKey, kHotkeyTableSize).has_value()));
    FUZZ_CHECK(StartsInGerman(file) == (language == 0));

    // New values for all three.
    HotkeyTable hotkeys = loaded.hotkeys;
    hotkeys.entries[0].keyCode = static_cast<uint16_t>(hotkeys.entries[0].keyCode + 1);
    SetEntryName(hotkeys.entries[1], std::string_view(text).substr(0, 40));
    const auto newInterval = static_cast<int32_t>(static_cast<uint32_t>(loaded.rotateInterval) + 1);
    const int32_t newLanguage = loaded.language == 0 ? 1 : 0;
    const bool savedHotkeys = SaveHotkeysAndInterval(hotkeys, newInterval, file);
    const bool savedLanguage = SaveLanguage(newLanguage, file);

    if (utf16) {
        const FileContents after = ReadWholeFile(file);
        FUZZ_CHECK(!savedHotkeys && !savedLanguage);
        FUZZ_CHECK(after.status == FileReadStatus::Read && after.bytes == text);
        return 0;
    }
    FUZZ_CHECK(savedHotkeys && savedLanguage);
    const Settings reloaded = LoadSettings(file);
    FUZZ_CHECK(reloaded.hotkeysStored && reloaded.hotkeys == hotkeys);
    FUZZ_CHECK(reloaded.rotateInterval == newInterval);
    FUZZ_CHECK(reloaded.language == newLanguage);
    return 0;
}
