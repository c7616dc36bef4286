// What the hotkeys page does with the main window's hotkey table and rotate
// interval: loading the page, Save and a step of the interval's up-down
// control. The window class implements HotkeysPageView and forwards its
// events here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "settings/hotkey_table.h"

// The texts the page exchanges with its edit boxes: the four port names and
// the read-only interval box.
struct HotkeysPageTexts {
    std::array<std::string, kNamedPortCount> names;
    std::string interval;

    bool operator==(const HotkeysPageTexts&) const = default;
};

// A hotkey field's value: the low and high byte of the hotkey control's value.
struct HotkeyFieldValue {
    uint8_t keyCode = 0;
    uint8_t modifiers = 0;

    bool operator==(const HotkeyFieldValue&) const = default;
};

class HotkeysPageView {
  public:
    virtual ~HotkeysPageView() = default;

    // Hotkey fields 0 to 4 belong to hotkey table entries 0 to 4.
    virtual HotkeyFieldValue HotkeyField(std::size_t entry) const = 0;
    virtual void SetHotkeyField(std::size_t entry, HotkeyFieldValue value) = 0;
    // The placeholder shown for a default name ("Description", string 104 of
    // the active resources); nothing when the resources lack it.
    virtual std::optional<std::string> LoadPlaceholder() const = 0;
    virtual void PushTexts(const HotkeysPageTexts& texts) = 0;
    virtual HotkeysPageTexts PullTexts() const = 0;
    // Range and position of the interval's up-down control.
    virtual void SetIntervalControl(int lowest, int highest, int position) = 0;
};

// Where the up-down control stands for an interval: the interval kept within
// the control's range, so a stored 1000 puts it at the top.
int IntervalControlPosition(int32_t interval);

class HotkeysPageLogic {
  public:
    // Writes the hotkey table and the interval to the settings file.
    using SaveSettings = std::function<bool(const HotkeyTable&, int32_t)>;
    // Registers the five hotkeys from the table and names the tray menu's ports.
    using RegisterHotkeys = std::function<void()>;

    // hotkeys and rotateInterval are the main window's copies, changed in place.
    HotkeysPageLogic(HotkeysPageView& view, HotkeyTable& hotkeys, int32_t& rotateInterval,
                     SaveSettings saveSettings, RegisterHotkeys registerHotkeys);

    // Once, when the page's window is made: loads the page, sets up the
    // interval control and pushes the texts again.
    void Initialize();
    void LoadFromSettings();
    void OnSave();
    // The up-down control is about to move from position by delta; the page
    // always lets it.
    void OnIntervalDelta(int position, int delta);

    // The texts as they stood after the last load, Save or interval step.
    const HotkeysPageTexts& Texts() const { return texts_; }

  private:
    HotkeysPageView& view_;
    HotkeyTable& hotkeys_;
    int32_t& rotateInterval_;
    SaveSettings saveSettings_;
    RegisterHotkeys registerHotkeys_;
    HotkeysPageTexts texts_;
};
