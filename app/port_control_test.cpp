#include "app/port_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "hid/testing/iowkit2_double.h"
#include "switchlink/testing/recording_desktop.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Event = RecordingDesktop::Event;
using Events = std::vector<Event>;

const Event kWait = Event::Sleep(500);
const Event kPortErrorBox = Event::MessageBox("Error while setting new port", "Pelorandix");

class PortControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(
            IowKit2RegisterDeviceCallback(PortControl::OnDeviceEvent, control.CallbackContext()),
            0u);
        desktop.strings[105] = "Error while setting new port";
    }

    // A switch that was taken; its arrival reports are not looked at.
    IowKit2Handle PlugSwitch() {
        IowKit2Handle device = hid.Plug();
        Clear();
        return device;
    }

    // The switch reports its port state.
    void ReportPort(IowKit2Handle device, uint8_t port, uint8_t secondPort) {
        hid.DeliverReport(device, 1, {9, 0, 2, 0, port, secondPort});
        Clear();
    }

    void Clear() {
        hid.ClearWrites();
        hid.ClearCalls();
        desktop.ClearEvents();
    }

    // Writes tried, also those that failed.
    size_t WriteAttempts() const {
        return std::count_if(hid.Calls().begin(), hid.Calls().end(), [](const auto& call) {
            return call.operation == IowKit2Double::Operation::Write;
        });
    }

    IowKit2Double hid;
    RecordingDesktop desktop;
    PortControl control{desktop};
};

TEST_F(PortControlTest, PortCommandsWaitThenSetBothPorts) {
    PlugSwitch();
    std::vector<size_t> writesAtWait;
    desktop.onSleep = [&](unsigned) { writesAtWait.push_back(hid.Writes().size()); };
    for (unsigned command : {40015u, 40016u, 40017u, 40018u}) {
        EXPECT_EQ(control.OnHotKey(PortControl::HotkeyIdForCommand(command), 0), 0);
    }
    EXPECT_EQ(hid.WrittenBytes(), (std::vector<Bytes>{{9, 4, 11, 0, 0, 0, 0, 0},
                                                      {9, 4, 11, 1, 1, 0, 0, 0},
                                                      {9, 4, 11, 2, 2, 0, 0, 0},
                                                      {9, 4, 11, 3, 3, 0, 0, 0}}));
    EXPECT_EQ(desktop.Events(), (Events{kWait, kWait, kWait, kWait}));
    EXPECT_EQ(writesAtWait, (std::vector<size_t>{0, 1, 2, 3}));

    EXPECT_EQ(PortControl::HotkeyIdForCommand(40023), 5);
    EXPECT_EQ(PortControl::HotkeyIdForCommand(40022), 0);
    EXPECT_EQ(PortControl::HotkeyIdForCommand(40019), 0);

    // An id that stands for no port: the wait, then nothing is sent.
    Clear();
    for (int id : {0, 6, -1, 40015}) {
        EXPECT_EQ(control.OnHotKey(id, 0), 0);
    }
    EXPECT_EQ(WriteAttempts(), 0u);
    EXPECT_EQ(desktop.Events(), (Events{kWait, kWait, kWait, kWait}));
}

TEST_F(PortControlTest, RotateStartsWithAQueryAndEndsAtTheReachedPort) {
    IowKit2Handle device = PlugSwitch();
    control.SetRotateInterval(3);
    desktop.startTimerResult = 42;
    std::vector<size_t> writesAtStop;
    desktop.onEvent = [&](const Event& event) {
        if (event.kind == Event::Kind::StopTimer) {
            writesAtStop.push_back(hid.Writes().size());
        }
    };

    control.OnHotKey(5, 0);
    EXPECT_EQ(hid.WrittenBytes(),
              (std::vector<Bytes>{{9, 4, 2, 0, 0, 0, 0, 0}, {9, 4, 7, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(desktop.Events(), (Events{kWait, Event::StartTimer(1, 3000)}));
    EXPECT_TRUE(control.IsRotating());
    EXPECT_EQ(control.RotateTimerId(), 42u);

    // Rotate while rotating at port 2: the timer stops, then port 2 for both.
    ReportPort(device, 2, 1);
    control.OnHotKey(5, 0);
    EXPECT_EQ(desktop.Events(), (Events{kWait, Event::StopTimer(42)}));
    EXPECT_EQ(hid.WrittenBytes(), (std::vector<Bytes>{{9, 4, 11, 2, 2, 0, 0, 0}}));
    EXPECT_FALSE(control.IsRotating());
    EXPECT_TRUE(desktop.RunningTimers().empty());

    // Port B while rotating: the timer stops, then port B.
    control.OnHotKey(5, 0);
    Clear();
    control.OnHotKey(2, 0);
    EXPECT_EQ(desktop.Events(), (Events{kWait, Event::StopTimer(42)}));
    EXPECT_EQ(hid.WrittenBytes(), (std::vector<Bytes>{{9, 4, 11, 1, 1, 0, 0, 0}}));
    EXPECT_EQ(writesAtStop, (std::vector<size_t>{0, 0}));
    EXPECT_FALSE(control.IsRotating());

    // A timer the platform refuses leaves the rotation idle; nothing but the
    // query goes out.
    desktop.startTimerResult = 0;
    Clear();
    control.OnHotKey(5, 0);
    EXPECT_FALSE(control.IsRotating());
    EXPECT_EQ(hid.WrittenBytes().size(), 2u);
}

TEST_F(PortControlTest, TicksStepThroughThePortsKeepingTheSecondPort) {
    IowKit2Handle device = PlugSwitch();
    ReportPort(device, 3, 1);
    control.OnHotKey(5, 0);
    Clear();
    for (int tick = 0; tick < 5; ++tick) {
        control.OnTimer(1);
    }
    EXPECT_EQ(hid.WrittenBytes(), (std::vector<Bytes>{{9, 4, 11, 0, 1, 0, 0, 0},
                                                      {9, 4, 11, 1, 1, 0, 0, 0},
                                                      {9, 4, 11, 2, 1, 0, 0, 0},
                                                      {9, 4, 11, 3, 1, 0, 0, 0},
                                                      {9, 4, 11, 0, 1, 0, 0, 0}}));
    EXPECT_TRUE(desktop.Events().empty());  // a step neither waits nor stops the timer
    EXPECT_EQ(control.CurrentPort(), 0u);

    // Port 7 from the switch: the next step goes to port A.
    ReportPort(device, 7, 2);
    control.OnTimer(1);
    EXPECT_EQ(hid.WrittenBytes(), (std::vector<Bytes>{{9, 4, 11, 0, 2, 0, 0, 0}}));

    // Another timer of the window, or a tick left over after the rotation
    // stopped, steps nothing.
    Clear();
    control.OnTimer(2);
    control.OnHotKey(5, 0);
    control.OnTimer(1);
    EXPECT_EQ(hid.WrittenBytes(), (std::vector<Bytes>{{9, 4, 11, 0, 0, 0, 0, 0}}));
}

TEST_F(PortControlTest, NoPortIsMadeUpBeforeTheSwitchReportedOne) {
    PlugSwitch();  // and it never answers
    control.OnHotKey(5, 0);
    Clear();
    control.OnHotKey(5, 0);
    EXPECT_EQ(desktop.Events(), (Events{kWait, Event::StopTimer(1)}));
    EXPECT_EQ(WriteAttempts(), 0u);

    // Without a reported second port, a step's port stands for it.
    control.OnHotKey(5, 0);
    Clear();
    control.OnTimer(1);
    control.OnTimer(1);
    EXPECT_EQ(hid.WrittenBytes(),
              (std::vector<Bytes>{{9, 4, 11, 0, 0, 0, 0, 0}, {9, 4, 11, 1, 1, 0, 0, 0}}));
}

TEST(PortControlPeriod, IntervalInSecondsAtLeastOneWithoutOverflow) {
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(PortControl::RotatePeriodMilliseconds(0), 1000u);
    EXPECT_EQ(PortControl::RotatePeriodMilliseconds(-5), 1000u);
    EXPECT_EQ(PortControl::RotatePeriodMilliseconds(kMin), 1000u);
    EXPECT_EQ(PortControl::RotatePeriodMilliseconds(1), 1000u);
    EXPECT_EQ(PortControl::RotatePeriodMilliseconds(500), 500000u);
    EXPECT_EQ(PortControl::RotatePeriodMilliseconds(2147483), 2147483000u);
    EXPECT_EQ(PortControl::RotatePeriodMilliseconds(2147484), 0x7FFFFFFFu);
    EXPECT_EQ(PortControl::RotatePeriodMilliseconds(kMax), 0x7FFFFFFFu);
}

TEST(PortControlModifiers, StoredFlagsToRegisteredFlags) {
    // 8 to 15 carry the extended-key flag (Ctrl+Alt+Left is stored as 14).
    const std::vector<unsigned> registered{0, 4, 2, 6, 1, 5, 3, 7, 0, 4, 2, 6, 1, 5, 3, 7};
    for (unsigned stored = 0; stored < registered.size(); ++stored) {
        EXPECT_EQ(PortControl::MapHotkeyModifiers(stored), registered[stored]) << stored;
    }
    // Higher bits are no modifiers either.
    EXPECT_EQ(PortControl::MapHotkeyModifiers(0x10003), 6u);
    EXPECT_EQ(PortControl::MapHotkeyModifiers(0x0103), 6u);
    EXPECT_EQ(PortControl::MapHotkeyModifiers(0xFFFF), 7u);
}

TEST_F(PortControlTest, HotkeysAreRegisteredAndNameThePorts) {
    HotkeyTable table = DefaultHotkeyTable();
    table.entries[0] = {0x31, 0x06, {}};  // Ctrl+Alt+1
    SetEntryName(table.entries[0], "Office");
    table.entries[1] = {0x42, 0x01, {}};  // Shift+B, name left empty
    table.entries[2].keyCode = 0x25;      // Ctrl+Alt+Left, with the extended-key flag
    table.entries[2].modifiers = 14;
    table.entries[3].modifiers = 0x02;    // Ctrl without a key: no hotkey
    table.entries[4] = {0x52, 0x03, {}};  // Shift+Ctrl+R, held by another program
    desktop.TakenByOtherProgram(6, 0x52);

    // Not stored: the values are taken, nothing is registered or named.
    control.ApplySettings({table, false, 0, 7});
    EXPECT_TRUE(desktop.Events().empty());
    EXPECT_EQ(control.Language(), 0);
    EXPECT_EQ(control.RotateInterval(), 7);

    control.ApplySettings({table, true, 1, 8});
    EXPECT_EQ(control.Hotkeys(), table);
    EXPECT_EQ(control.Language(), 1);
    EXPECT_EQ(control.RotateInterval(), 8);
    EXPECT_EQ(
        desktop.Events(),
        (Events{Event::UnregisterHotkey(1), Event::UnregisterHotkey(2), Event::UnregisterHotkey(3),
                Event::UnregisterHotkey(4), Event::UnregisterHotkey(5),
                Event::RegisterHotkey(1, 3, 0x31), Event::RegisterHotkey(2, 4, 0x42),
                Event::RegisterHotkey(3, 3, 0x25), Event::RegisterHotkey(5, 6, 0x52),
                Event::Text(40015, "Office"), Event::Text(40016, "Port B"),
                Event::Text(40017, "Port C"), Event::Text(40018, "Port D")}));
    EXPECT_FALSE(desktop.HotkeyIdFor(6, 0x52));
    const auto problems = [&] {
        std::vector<HotkeyProblem> all;
        for (int id = 1; id <= 5; ++id) {
            all.push_back(control.HotkeyProblemOf(id));
        }
        return all;
    };
    using enum HotkeyProblem;
    EXPECT_EQ(problems(), (std::vector{kNone, kNone, kNone, kNone, kHeldByOtherProgram}));

    // Registering again lets the old combinations go first: ports A and B
    // swap theirs, the rotate hotkey, free now, registers.
    std::swap(control.Hotkeys().entries[0], control.Hotkeys().entries[1]);
    control.Hotkeys().entries[4].keyCode = 0x53;
    control.RegisterHotkeys();
    EXPECT_EQ(desktop.HotkeyIdFor(4, 0x42), 1);
    EXPECT_EQ(desktop.HotkeyIdFor(3, 0x31), 2);
    EXPECT_EQ(desktop.HotkeyIdFor(3, 0x25), 3);
    EXPECT_EQ(desktop.HotkeyIdFor(6, 0x53), 5);
    EXPECT_EQ(problems(), (std::vector{kNone, kNone, kNone, kNone, kNone}));

    // Port D on port B's combination, the extended-key flag aside: the first
    // of the two has it, both are marked as each other's duplicate.
    control.Hotkeys().entries[3] = {0x31, 0x0E, {}};
    control.RegisterHotkeys();
    EXPECT_EQ(desktop.HotkeyIdFor(3, 0x31), 2);
    EXPECT_EQ(problems(), (std::vector{kNone, kDuplicate, kNone, kDuplicate, kNone}));
}

TEST_F(PortControlTest, AFailedPortChangeShowsTheErrorBox) {
    // No switch.
    control.OnHotKey(3, 0);
    EXPECT_EQ(desktop.Events(), (Events{kWait, kPortErrorBox}));

    // A held switch whose write fails; the text comes from the resource module.
    IowKit2Handle device = PlugSwitch();
    desktop.strings[105] = "Fehler beim Setzen des Ports";
    hid.FailNext(IowKit2Double::Operation::Write);
    control.OnHotKey(1, 0);
    EXPECT_EQ(desktop.Events(),
              (Events{kWait, Event::MessageBox("Fehler beim Setzen des Ports", "Pelorandix")}));

    // Unplugged while rotating, with a module lacking the string: the query
    // fails quietly, every step shows the box and the rotation goes on.
    desktop.strings.clear();
    hid.Unplug(device);
    Clear();
    control.OnHotKey(5, 0);
    control.OnTimer(1);
    control.OnTimer(1);
    EXPECT_EQ(desktop.Events(),
              (Events{kWait, Event::StartTimer(1, 10000), kPortErrorBox, kPortErrorBox}));
    EXPECT_TRUE(control.IsRotating());

    // Stopping at the reached port fails too.
    Clear();
    control.OnHotKey(5, 0);
    EXPECT_EQ(desktop.Events(), (Events{kWait, Event::StopTimer(1), kPortErrorBox}));
}

TEST_F(PortControlTest, OneErrorBoxAtATime) {
    control.OnHotKey(5, 0);  // no switch: every step fails
    Clear();
    int boxes = 0;
    desktop.onMessageBox = [&](const std::string&, const std::string&) {
        if (++boxes == 1) {  // timers and hotkeys run while the box is open
            control.OnTimer(1);
            control.OnTimer(1);
            control.OnHotKey(3, 0);
        }
    };
    control.OnTimer(1);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(WriteAttempts(), 4u);
    EXPECT_EQ(desktop.MostBoxesOpenAtOnce(), 1);
    EXPECT_FALSE(control.IsRotating());

    // Once it is closed, the next failure shows a box again.
    control.OnHotKey(4, 0);
    EXPECT_EQ(boxes, 2);
    EXPECT_EQ(desktop.MostBoxesOpenAtOnce(), 1);
}

}  // namespace
