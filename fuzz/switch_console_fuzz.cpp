// The virtual switch's console on any typed lines: every line gets one reply,
// nothing for a blank line, else "ok...", "error: ..." or the command list;
// plug and unplug leave the switch as they say, a scripted status or a
// pressed button reaches the switch.
//
// Input: lines, split at line feeds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "hid/sim/switch_console.h"

namespace {

constexpr std::size_t kMaxLines = 64;

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    return first == std::string_view::npos
               ? std::string_view()
               : text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto bus = hidsim::Bus::Make();
    const auto device = hidsim::VirtualSwitch::Make(bus);
    device->Plug();
    hidsim::SwitchConsole console(device);

    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (std::size_t count = 0; !input.empty() && count < kMaxLines; ++count) {
        const std::size_t end = std::min(input.find('\n'), input.size());
        const std::string_view line = input.substr(0, end);
        input.remove_prefix(std::min(end + 1, input.size()));

        const bool wasPlugged = device->IsPlugged();
        const std::string reply = console.Execute(line);
        const std::string_view command = Trimmed(line);
        if (command.empty()) {
            FUZZ_CHECK(reply.empty());
            continue;
        }
        const bool ok = reply.starts_with("ok");
        FUZZ_CHECK(ok || reply.starts_with("error: ") || reply.starts_with("commands: "));
        FUZZ_CHECK(reply.find('\n') == std::string::npos);
        if (ok && command == "plug") {
            FUZZ_CHECK(device->IsPlugged());
        } else if (ok && command == "unplug") {
            FUZZ_CHECK(!device->IsPlugged());
        } else if (command.starts_with("button ") && ok) {
            FUZZ_CHECK(wasPlugged && device->Port() <= 3);
        } else {
            FUZZ_CHECK(device->IsPlugged() == wasPlugged);
        }
    }
    return 0;
}
