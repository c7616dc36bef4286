// The virtual switch's console: the wire log of every report crossing the
// switch's pipe, and the commands a person (or a test driver) types to play
// the switch's part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "hid/sim/virtual_switch.h"

namespace hidsim {

// One wire-log line: "> " for a report to the switch, "< " for one from it,
// then every byte as two upper-case hexadecimal digits, separated by spaces:
// "> 09 04 0B 02 02 00 00 00".
std::string WireLogLine(Direction direction, const uint8_t* report, size_t size);

// Runs typed commands on a virtual switch:
//   unplug | plug | fail-writes on | fail-writes off | status N [N ...] |
//   status-answers on | status-answers off | button P | help
// Every line gets a one-line reply: "ok" (sometimes with a note), "error: ..."
// saying what is wrong, the command list for "help", or nothing for a blank
// line. Writes failing stays in force across unplug and plug.
// Use it from one thread.
class SwitchConsole {
  public:
    explicit SwitchConsole(std::shared_ptr<VirtualSwitch> device);

    std::string Execute(std::string_view line);

  private:
    std::string Plug();
    std::string Unplug();
    std::string FailWrites(std::string_view setting);
    std::string ScriptStatuses(std::string_view arguments);
    std::string StatusAnswers(std::string_view setting);
    std::string PressButton(std::string_view arguments);
    void ApplyFailWrites();

    std::shared_ptr<VirtualSwitch> device_;
    bool failWrites_ = false;
};

}  // namespace hidsim
