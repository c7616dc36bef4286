// The requests pelorandix.exe hands to the running program and its answers,
// as the texts that travel in WM_COPYDATA.
//
// A request is one line: "status", "rotate" or "port N" (N 0-3). The answer
// is lines of "name=value": the outcome (and whether the program was still
// starting), the reason of a failure, the switch's state after the request,
// and how many port reports the switch had sent before it, so that the caller
// can tell the port report that confirms its set-port from an older one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/switch_state.h"

namespace remote {

// COPYDATASTRUCT::dwData of a request and of an answer ("PlRq", "PlAn").
inline constexpr uint32_t kRequestTag = 0x506C5271;
inline constexpr uint32_t kAnswerTag = 0x506C416E;

enum class Command { kStatus, kSetPort, kRotate };

struct RemoteRequest {
    Command command = Command::kStatus;
    uint32_t port = 0;  // kSetPort only

    bool operator==(const RemoteRequest&) const = default;
};

struct RemoteAnswer {
    // The command was carried out: for a set-port, the report went to the
    // switch (its confirmation comes later).
    bool done = false;
    // Not done because the program is starting: it has not looked for the
    // switch yet. Asking again a little later gets the real answer.
    bool starting = false;
    std::string reason;  // why not, when not done
    SwitchState state;
    unsigned portReportsBefore = 0;

    bool operator==(const RemoteAnswer&) const = default;
};

std::string EncodeRequest(const RemoteRequest& request);
std::optional<RemoteRequest> DecodeRequest(std::string_view text);
std::string EncodeAnswer(const RemoteAnswer& answer);
std::optional<RemoteAnswer> DecodeAnswer(std::string_view text);

}  // namespace remote
