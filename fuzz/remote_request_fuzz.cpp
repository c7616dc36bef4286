// The running program decodes whatever any process of the session sends its
// main window in a WM_COPYDATA, and pelorandix.exe the answer it gets back:
// both decoders on any text. A decoded request is a known command with a
// port the switch has, and encodes to itself; a decoded answer encodes to a
// text that decodes, and from there on to itself (line breaks in its values
// become spaces once).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "app/remote_request.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr uint32_t kPortCount = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const std::optional<remote::RemoteRequest> request = remote::DecodeRequest(text)) {
        FUZZ_CHECK(request->command != remote::Command::kSetPort || request->port < kPortCount);
        FUZZ_CHECK(remote::DecodeRequest(remote::EncodeRequest(*request)) == request);
    }

    if (const std::optional<remote::RemoteAnswer> answer = remote::DecodeAnswer(text)) {
        const std::optional<remote::RemoteAnswer> once =
            remote::DecodeAnswer(remote::EncodeAnswer(*answer));
        FUZZ_CHECK(once.has_value());
        FUZZ_CHECK(remote::DecodeAnswer(remote::EncodeAnswer(*once)) == once);
    }
    return 0;
}
