#include "settings/hotkeys_page_logic.h"

#include <algorithm>
#include <utility>

#include "settings/settings_file.h"

int IntervalControlPosition(int32_t interval) {
    return std::clamp(interval, kMinRotateIntervalSeconds, kMaxRotateIntervalSeconds);
}

HotkeysPageLogic::HotkeysPageLogic(HotkeysPageView& view, HotkeyTable& hotkeys,
                                   int32_t& rotateInterval, SaveSettings saveSettings,
                                   RegisterHotkeys registerHotkeys)
    : view_(view),
      hotkeys_(hotkeys),
      rotateInterval_(rotateInterval),
      saveSettings_(std::move(saveSettings)),
      registerHotkeys_(std::move(registerHotkeys)) {}

void HotkeysPageLogic::Initialize() {
    LoadFromSettings();
    view_.SetIntervalControl(kMinRotateIntervalSeconds, kMaxRotateIntervalSeconds,
                             IntervalControlPosition(rotateInterval_));
    view_.PushTexts(texts_);
}

void HotkeysPageLogic::LoadFromSettings() {
    for (std::size_t i = 0; i < kHotkeyEntryCount; ++i) {
        const HotkeyEntry& entry = hotkeys_.entries[i];
        view_.SetHotkeyField(i, {static_cast<uint8_t>(entry.keyCode & 0xFF),
                                 static_cast<uint8_t>(entry.modifiers & 0xFF)});
    }
    const std::optional<std::string> placeholder = view_.LoadPlaceholder();
    for (std::size_t port = 0; port < kNamedPortCount; ++port) {
        const HotkeyEntry& entry = hotkeys_.entries[port];
        if (!HasDefaultName(entry, port)) {
            texts_.names[port] = EntryName(entry);
        } else if (placeholder) {
            texts_.names[port] = *placeholder;
        }
    }
    texts_.interval = std::to_string(rotateInterval_);
    view_.PushTexts(texts_);
}

void HotkeysPageLogic::OnSave() {
    texts_ = view_.PullTexts();
    for (std::size_t i = 0; i < kHotkeyEntryCount; ++i) {
        const HotkeyFieldValue field = view_.HotkeyField(i);
        hotkeys_.entries[i].keyCode = field.keyCode;
        hotkeys_.entries[i].modifiers = field.modifiers;
    }
    // The boxes take at most 29 bytes; a longer text is cut here all the
    // same, so the box shows exactly what the file keeps.
    for (std::size_t port = 0; port < kNamedPortCount; ++port) {
        std::string& name = texts_.names[port];
        name = name.substr(0, std::min(name.find('\0'), kHotkeyNameMaxLength));
        SetEntryName(hotkeys_.entries[port], name);
    }
    const std::string placeholder = view_.LoadPlaceholder().value_or(std::string());
    for (std::size_t port = 0; port < kNamedPortCount; ++port) {
        std::string& name = texts_.names[port];
        if (name.empty() || name == placeholder) {
            name = placeholder;
            SetEntryName(hotkeys_.entries[port], DefaultPortName(port));
        }
    }
    view_.PushTexts(texts_);
    // A failed write leaves the file as it was and is not reported; the
    // hotkeys are registered from the table either way.
    saveSettings_(hotkeys_, rotateInterval_);
    registerHotkeys_();
}

void HotkeysPageLogic::OnIntervalDelta(int position, int delta) {
    const int64_t proposed = static_cast<int64_t>(position) + delta;
    rotateInterval_ = static_cast<int32_t>(
        std::clamp<int64_t>(proposed, kMinRotateIntervalSeconds, kMaxRotateIntervalSeconds));
    texts_.interval = std::to_string(rotateInterval_);
    view_.PushTexts(texts_);
}
