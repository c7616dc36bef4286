// pelorandix.exe's command line: one command per call, and the usage text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace cli {

enum class Action { kHelp, kSetPort, kRotate, kStatus };

struct Options {
    Action action = Action::kHelp;
    // The port to set, 0 (A) to 3 (D); only for kSetPort.
    uint32_t port = 0;

    bool operator==(const Options&) const = default;
};

// What is wrong with a command line, in one line for the user.
struct UsageError {
    std::string text;

    bool operator==(const UsageError&) const = default;
};

// The arguments after the program's name. Commands: --port P (also
// --port=P; P is A-D in either case or 1-4), --rotate, --status, --help
// (also -h and /?). Exactly one per call.
std::variant<Options, UsageError> ParseOptions(std::span<const std::string_view> arguments);

// What --help prints.
std::string UsageText();

}  // namespace cli
