// What the two settings pages read and change of the tray controller. The
// controller implements it; the pages know nothing else of it.
#pragma once

#include <cstdint>
#include <string>

#include "settings/hotkey_table.h"

// Why a hotkey of the table does not work, as the hotkeys page marks it.
enum class HotkeyProblem {
    kNone,
    // Another program holds the combination.
    kHeldByOtherProgram,
    // Another field of the table has the same combination; the first of them
    // has it.
    kDuplicate,
};

class PagesHost {
  public:
    // Hotkey table entry i is registered with the id kFirstHotkeyId + i.
    static constexpr int kFirstHotkeyId = 1;

    // The hotkeys page edits the table and the rotate interval in place and
    // has them registered after Save; it marks the fields whose hotkey the
    // last registration left without effect.
    virtual HotkeyTable& Hotkeys() = 0;
    virtual int32_t& RotateIntervalSetting() = 0;
    virtual void RegisterHotkeys() = 0;
    virtual HotkeyProblem HotkeyProblemOf(int hotkeyId) const = 0;

    // The preferences page shows the language and the switch's status.
    virtual int32_t Language() const = 0;
    virtual uint32_t SerialNumber() const = 0;
    virtual uint32_t HardwareRevision() const = 0;
    virtual const std::string& FirmwareVersion() const = 0;

  protected:
    ~PagesHost() = default;
};
