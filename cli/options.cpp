#include "cli/options.h"

#include <optional>

#include "switchlink/switch_protocol.h"

namespace cli {
namespace {

constexpr std::string_view kPortOption = "--port";
constexpr std::string_view kPortOptionWithValue = "--port=";
constexpr char kPortNames[] = "A-D or 1-4";

std::optional<Action> ActionOf(std::string_view argument) {
    if (argument == "--help" || argument == "-h" || argument == "/?") {
        return Action::kHelp;
    }
    if (argument == "--rotate") {
        return Action::kRotate;
    }
    if (argument == "--status") {
        return Action::kStatus;
    }
    if (argument == kPortOption || argument.starts_with(kPortOptionWithValue)) {
        return Action::kSetPort;
    }
    return std::nullopt;
}

std::optional<uint32_t> PortOf(std::string_view text) {
    if (text.size() != 1) {
        return std::nullopt;
    }
    const char name = text[0];
    const auto count = static_cast<char>(switchlink::kPortCount);
    if (name >= 'A' && name < 'A' + count) {
        return name - 'A';
    }
    if (name >= 'a' && name < 'a' + count) {
        return name - 'a';
    }
    if (name >= '1' && name < '1' + count) {
        return name - '1';
    }
    return std::nullopt;
}

}  // namespace

std::variant<Options, UsageError> ParseOptions(std::span<const std::string_view> arguments) {
    std::optional<Options> chosen;
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::string_view argument = arguments[index];
        const std::optional<Action> action = ActionOf(argument);
        if (!action) {
            return UsageError{"unknown option '" + std::string(argument) + "'"};
        }
        if (chosen) {
            return UsageError{"one command at a time, not '" + std::string(argument) + "' too"};
        }
        Options options{*action};
        if (*action == Action::kSetPort) {
            std::string_view value;
            if (argument.starts_with(kPortOptionWithValue)) {
                value = argument.substr(kPortOptionWithValue.size());
            } else if (index + 1 < arguments.size()) {
                value = arguments[++index];
            } else {
                return UsageError{"--port needs a port: " + std::string(kPortNames)};
            }
            const std::optional<uint32_t> port = PortOf(value);
            if (!port) {
                return UsageError{"'" + std::string(value) + "' is no port: use " + kPortNames};
            }
            options.port = *port;
        }
        chosen = options;
    }
    if (!chosen) {
        return UsageError{"no command given"};
    }
    return *chosen;
}

std::string UsageText() {
    return "Usage: pelorandix COMMAND\n"
           "Controls the Pelorandix monitor switch: through Pelorandix Control Center\n"
           "when it runs, otherwise on its own.\n"
           "\n"
           "  --port P     switch to port P (A, B, C, D or 1, 2, 3, 4)\n"
           "  --rotate     start the rotation through the ports, or stop it if it runs\n"
           "               (Pelorandix Control Center must be running)\n"
           "  --status     print the switch's state as one JSON object\n"
           "  --help, /?   print this help\n"
           "\n"
           "Exit code: 0 done, 1 failed (no switch, or the switch did not confirm),\n"
           "2 wrong command line.\n";
}

}  // namespace cli
