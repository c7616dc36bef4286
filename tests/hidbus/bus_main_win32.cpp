// pelorandix-bus.exe: virtual switches on the virtual switch bus driver, so
// that the real program meets them through Wine's own HID stack. Every
// report crossing a switch's pipe goes to standard output, one flushed line
// each; standard input takes the virtual switch's commands for the selected
// switch, and these:
//   switch N [PID [SERIAL]]   select switch N, adding it (unplugged) if new
//   switches                  list them
// Arguments: the switches plugged at start, each PID[:SERIAL] (hexadecimal
// product id); none: one switch 03EB with serial 1A2B3C4D.
#include <windows.h>

#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "hid/sim/console_io_win32.h"
#include "hid/sim/switch_console.h"
#include "hid/sim/virtual_switch.h"
#include "tests/hidbus/bus_link_win32.h"
#include "tests/hidbus/switch_mirror_win32.h"

namespace {

constexpr DWORD kDriverWaitMs = 20000;

std::optional<uint16_t> ParseProductId(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

std::optional<hidsim::SwitchOptions> ParseSwitch(std::string_view productId,
                                                 std::string_view serial) {
    hidsim::SwitchOptions options;
    const auto product = ParseProductId(productId);
    if (!product || serial.size() >= PELOBUS_SERIAL_CHARS) {
        return std::nullopt;
    }
    options.productId = *product;
    if (!serial.empty()) {
        options.serialNumber = std::u16string(serial.begin(), serial.end());
    }
    return options;
}

std::string Describe(uint32_t id, const hidsim::SwitchOptions& options) {
    char product[8];
    std::snprintf(product, sizeof product, "%04X", options.productId);
    return "switch " + std::to_string(id) + ": product " + product + ", serial " +
           std::string(options.serialNumber.begin(), options.serialNumber.end());
}

class BusConsole {
  public:
    explicit BusConsole(SwitchMirror& mirror) : mirror_(mirror) {}

    std::string Add(uint32_t id, const hidsim::SwitchOptions& options) {
        consoles_[id] = std::make_unique<hidsim::SwitchConsole>(mirror_.Add(id, options));
        options_[id] = options;
        selected_ = id;
        return Describe(id, options);
    }

    std::string Execute(std::string_view line) {
        std::string_view rest = line;
        const std::string_view command = TakeWord(rest);
        if (command == "switch") {
            return Select(rest);
        }
        if (command == "switches") {
            std::string list;
            for (const auto& [id, options] : options_) {
                list += (list.empty() ? "" : "; ") + Describe(id, options) +
                        (id == selected_ ? " (selected)" : "");
            }
            return list;
        }
        std::string reply = consoles_.at(selected_)->Execute(line);
        if (command == "help") {
            reply +=
                " | switch N [PID [SERIAL]] (select switch N, added unplugged if new) | "
                "switches";
        }
        // The program sees a plug or an unplug once the reply is out.
        mirror_.Settle();
        return reply;
    }

  private:
    static std::string_view TakeWord(std::string_view& text) {
        const size_t start = text.find_first_not_of(" \t");
        if (start == std::string_view::npos) {
            text = {};
            return {};
        }
        text.remove_prefix(start);
        const size_t end = text.find_first_of(" \t");
        const std::string_view word = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end);
        return word;
    }

    std::string Select(std::string_view arguments) {
        const std::string_view number = TakeWord(arguments);
        const std::string_view product = TakeWord(arguments);
        const std::string_view serial = TakeWord(arguments);
        uint32_t id = 0;
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), id);
        if (number.empty() || error != std::errc() || end != number.data() + number.size() ||
            id == 0) {
            return "error: switch takes a number from 1 up, then a product id and serial for a "
                   "new one";
        }
        if (consoles_.contains(id)) {
            selected_ = id;
            return "ok (" + Describe(id, options_[id]) + ")";
        }
        const auto options = ParseSwitch(product.empty() ? "03EB" : product, serial);
        if (!options) {
            return "error: a product id is hexadecimal (e.g. 03EB), a serial at most 31 "
                   "characters";
        }
        return "ok (" + Add(id, *options) + ", unplugged)";
    }

    SwitchMirror& mirror_;
    std::map<uint32_t, std::unique_ptr<hidsim::SwitchConsole>> consoles_;
    std::map<uint32_t, hidsim::SwitchOptions> options_;
    uint32_t selected_ = 1;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    auto link = BusLink::Open(kDriverWaitMs);
    if (!link) {
        std::fputs(
            "pelorandix-bus: the virtual switch bus driver is not running in this Wine "
            "prefix (scripts/wine-env installs it: wine_env_install_bus)\n",
            stderr);
        return 1;
    }
    SwitchMirror mirror(*link, hidsim::WriteConsoleLine);
    BusConsole console(mirror);
    uint32_t id = 0;
    for (int i = 1; i < argc || id == 0; ++i) {
        std::string argument;
        if (i < argc) {
            for (const wchar_t* c = argv[i]; *c; ++c) {
                argument.push_back(static_cast<char>(*c));
            }
        } else {
            argument = "03EB:1A2B3C4D";
        }
        const size_t colon = argument.find(':');
        const auto options =
            ParseSwitch(std::string_view(argument).substr(0, colon),
                        colon == std::string::npos ? std::string_view("1A2B3C4D")
                                                   : std::string_view(argument).substr(colon + 1));
        if (!options) {
            std::fprintf(stderr, "pelorandix-bus: %s is not PID[:SERIAL]\n", argument.c_str());
            return 2;
        }
        hidsim::WriteConsoleLine(console.Add(++id, *options));
        hidsim::WriteConsoleLine(console.Execute("plug"));
    }
    console.Execute("switch 1");

    // Commands until standard input ends; then every switch is unplugged.
    hidsim::ForEachInputLine([&console](const std::string& line) {
        const std::string reply = console.Execute(line);
        if (!reply.empty()) {
            hidsim::WriteConsoleLine(reply);
        }
    });
    return 0;
}
