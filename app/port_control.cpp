#include "app/port_control.h"

#include <algorithm>

#include "resources/resource.h"
#include "switchlink/switch_protocol.h"
#include "switchlink/switch_reports.h"

namespace {

// Modifier flags as the hotkey control gives them and the table stores them.
// The control adds its extended-key flag (0x08) for keys such as the arrows;
// it says nothing about the modifiers.
constexpr unsigned kStoredShift = 0x01;
constexpr unsigned kStoredControl = 0x02;
constexpr unsigned kStoredAlt = 0x04;

// Modifier flags as RegisterHotKey takes them.
constexpr unsigned kRegisterAlt = 0x0001;      // MOD_ALT
constexpr unsigned kRegisterControl = 0x0002;  // MOD_CONTROL
constexpr unsigned kRegisterShift = 0x0004;    // MOD_SHIFT

// A table entry with this key code holds no hotkey.
constexpr uint16_t kNoKeyCode = 0;

constexpr unsigned kMillisecondsPerSecond = 1000;

constexpr uint32_t kLastPort = switchlink::kPortCount - 1;
static_assert(ID_PORT_D - ID_PORT_A == kLastPort, "one menu item per port, in port order");

// Only the low 8 bits of a port value fit the set-port report.
uint8_t PortByte(uint32_t port) {
    return static_cast<uint8_t>(port);
}

}  // namespace

PortControl::PortControl(Desktop& desktop) : SwitchConnection(desktop), desktop_(desktop) {}

int PortControl::OnHotKey(int hotkeyId, unsigned /*secondParameter*/) {
    desktop_.SleepFor(kCommandWaitMilliseconds);
    const int lastPortHotkeyId = kFirstPortHotkeyId + static_cast<int>(switchlink::kPortCount) - 1;
    if (hotkeyId >= kFirstPortHotkeyId && hotkeyId <= lastPortHotkeyId) {
        SetPort(static_cast<uint32_t>(hotkeyId - kFirstPortHotkeyId));
    } else if (hotkeyId == kRotateHotkeyId) {
        ToggleRotation();
    }
    // Any other id stands for no port: nothing is sent.
    return 0;
}

void PortControl::SetPort(uint32_t port) {
    if (rotating_) {
        StopRotation();
    }
    SendSetPort(port, port);
}

void PortControl::ToggleRotation() {
    if (rotating_) {
        StopRotation();
        // The rotation ends at the port it reached. Before the switch ever
        // reported a port and before the first step there is none to set.
        if (CurrentPort() != kUnknownPort) {
            SendSetPort(CurrentPort(), CurrentPort());
        }
        return;
    }
    // The steps go on from the port the switch reports now. No set-port
    // report goes out until the first tick.
    QueryPort();
    const unsigned timerId =
        desktop_.StartTimer(kRotateTimerRequestedId, RotatePeriodMilliseconds(rotateInterval_));
    if (timerId != 0) {
        rotateTimerId_ = timerId;
        rotating_ = true;
    }
}

void PortControl::StopRotation() {
    desktop_.StopTimer(rotateTimerId_);
    rotating_ = false;
}

void PortControl::OnTimer(unsigned timerId) {
    if (!rotating_ || timerId != rotateTimerId_) {
        return;
    }
    // A, B, C, D, A, ...: any port beyond D (or none known yet) goes on at A.
    const uint32_t port = CurrentPort() < kLastPort ? CurrentPort() + 1 : 0;
    SetCurrentPort(port);
    // The second port stays the one the switch reported; until it reported
    // one, the step's port stands for it.
    const uint32_t secondPort = SecondPort() == kUnknownPort ? port : SecondPort();
    SendSetPort(port, secondPort);
}

void PortControl::SendSetPort(uint32_t port, uint32_t secondPort) {
    if (WriteToSwitch(switchlink::SetPortReport(PortByte(port), PortByte(secondPort))) == 0) {
        ShowPortError();
    }
}

void PortControl::ShowPortError() {
    // The box is modal and timers tick while it is open: one box at a time,
    // the rotation goes on behind it.
    if (errorBoxOpen_) {
        return;
    }
    std::string text = desktop_.LoadResourceString(IDS_PORT_ERROR);
    if (text.empty()) {
        text = kPortErrorText;
    }
    errorBoxOpen_ = true;
    desktop_.ShowMessageBox(text, kMessageCaption);
    errorBoxOpen_ = false;
}

void PortControl::RegisterHotkeys() {
    // Every id lets go of its earlier combination first, so a changed hotkey
    // leaves the old one free and two hotkeys can swap theirs.
    for (size_t entry = 0; entry < kHotkeyEntryCount; ++entry) {
        desktop_.UnregisterHotkey(kFirstPortHotkeyId + static_cast<int>(entry));
    }
    const auto sameCombination = [](const HotkeyEntry& a, const HotkeyEntry& b) {
        return a.keyCode == b.keyCode &&
               MapHotkeyModifiers(a.modifiers) == MapHotkeyModifiers(b.modifiers);
    };
    for (size_t entry = 0; entry < kHotkeyEntryCount; ++entry) {
        const HotkeyEntry& hotkey = hotkeys_.entries[entry];
        HotkeyProblem& problem = hotkeyProblems_[entry];
        problem = HotkeyProblem::kNone;
        if (hotkey.keyCode == kNoKeyCode) {
            continue;
        }
        bool duplicate = false;
        bool first = true;
        for (size_t other = 0; other < kHotkeyEntryCount; ++other) {
            if (other != entry && sameCombination(hotkeys_.entries[other], hotkey)) {
                duplicate = true;
                first = first && other > entry;
            }
        }
        // A failure (another program holds the combination) is kept for the
        // hotkeys page to show; that hotkey never arrives.
        if (first &&
            !desktop_.RegisterHotkey(kFirstPortHotkeyId + static_cast<int>(entry),
                                     MapHotkeyModifiers(hotkey.modifiers), hotkey.keyCode)) {
            problem = HotkeyProblem::kHeldByOtherProgram;
        }
        if (duplicate) {
            problem = HotkeyProblem::kDuplicate;
        }
    }
    for (size_t port = 0; port < kNamedPortCount; ++port) {
        // An item with no text could not be told apart or chosen.
        std::string_view name = EntryName(hotkeys_.entries[port]);
        if (name.empty()) {
            name = DefaultPortName(port);
        }
        desktop_.SetMenuItemText(ID_PORT_A + static_cast<unsigned>(port), std::string(name));
    }
}

HotkeyProblem PortControl::HotkeyProblemOf(int hotkeyId) const {
    const int entry = hotkeyId - kFirstPortHotkeyId;
    if (entry < 0 || entry >= static_cast<int>(kHotkeyEntryCount)) {
        return HotkeyProblem::kNone;
    }
    return hotkeyProblems_[static_cast<size_t>(entry)];
}

unsigned PortControl::MapHotkeyModifiers(unsigned storedModifiers) {
    unsigned registered = 0;
    if ((storedModifiers & kStoredShift) != 0) {
        registered |= kRegisterShift;
    }
    if ((storedModifiers & kStoredControl) != 0) {
        registered |= kRegisterControl;
    }
    if ((storedModifiers & kStoredAlt) != 0) {
        registered |= kRegisterAlt;
    }
    return registered;
}

int PortControl::HotkeyIdForCommand(unsigned commandId) {
    if (commandId >= ID_PORT_A && commandId <= ID_PORT_D) {
        return kFirstPortHotkeyId + static_cast<int>(commandId - ID_PORT_A);
    }
    return commandId == ID_ROTATE ? kRotateHotkeyId : 0;
}

unsigned PortControl::RotatePeriodMilliseconds(int32_t intervalSeconds) {
    const uint64_t seconds = static_cast<uint64_t>(std::max<int32_t>(intervalSeconds, 0));
    return static_cast<unsigned>(std::clamp<uint64_t>(seconds * kMillisecondsPerSecond,
                                                      kMinRotatePeriodMilliseconds,
                                                      kMaxTimerPeriodMilliseconds));
}

void PortControl::ApplySettings(const Settings& settings) {
    hotkeys_ = settings.hotkeys;
    language_ = settings.language;
    rotateInterval_ = settings.rotateInterval;
    if (settings.hotkeysStored) {
        RegisterHotkeys();
    }
}
