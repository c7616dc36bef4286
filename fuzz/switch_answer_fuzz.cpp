// The switch's answers: any input report, of any pipe and length, through
// the answer decoder and through the switch connection's read callback over
// the HID layer's test double. Only reports [9, x, code, v1, v2, v3, ...] on
// pipe 1 with code 0, 2, 3 or 255 are answers; the connection keeps what
// they say and nothing else. Each report lies in a buffer of exactly its
// length, so a read past it is caught.
//
// Input: reports, each a pipe byte, a length byte and up to that many bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "fuzz/fuzz_check.h"
#include "hid/testing/iowkit2_double.h"
#include "resources/resource.h"
#include "switchlink/switch_answers.h"
#include "switchlink/switch_connection.h"
#include "switchlink/testing/recording_desktop.h"

using namespace switchlink;

namespace {

constexpr unsigned kPipeChoices = 3;  // 0, 1 and an invalid 2
constexpr unsigned kLengthChoices = 65;

// What the connection should hold.
struct Expected {
    std::string firmwareVersion;
    uint32_t port = 0xFFFFFFFF;
    uint32_t secondPort = 0xFFFFFFFF;
    uint32_t deviceType = 0;
    uint32_t recordStatus = 0;
    std::string modelName;
};

std::string ModelNameOf(uint32_t type) {
    switch (type) {
        case 1:
            return "Pelorandix Type A1";
        case 2:
            return "Pelorandix Type B1";
        case 3:
            return "Pelorandix Type C1";
        default:
            return "Unknown";
    }
}

// Checks the decoder's result against the report's bytes and updates what
// the connection should hold.
void CheckAnswer(unsigned pipe, const uint8_t* report, unsigned length, Expected& expected) {
    const std::optional<SwitchAnswer> answer = DecodeAnswer(pipe, report, length);
    if (pipe != 1 || length < 6 || report[0] != 9) {
        FUZZ_CHECK(!answer);
        return;
    }
    const uint32_t v1 = report[3], v2 = report[4], v3 = report[5];
    switch (report[2]) {
        case 0: {
            const auto* version = answer ? std::get_if<FirmwareVersionAnswer>(&*answer) : nullptr;
            FUZZ_CHECK(version && version->major == v2 && version->minor == v3);
            expected.firmwareVersion = std::to_string(v2) + "." + std::to_string(v3);
            FUZZ_CHECK(FirmwareVersionText(v2, v3) == expected.firmwareVersion);
            break;
        }
        case 2: {
            const auto* state = answer ? std::get_if<PortStateAnswer>(&*answer) : nullptr;
            FUZZ_CHECK(state && state->port == v2 && state->secondPort == v3);
            expected.port = v2;
            expected.secondPort = v3;
            break;
        }
        case 3: {
            const auto* type = answer ? std::get_if<DeviceTypeAnswer>(&*answer) : nullptr;
            FUZZ_CHECK(type && type->deviceType == v2);
            expected.deviceType = v2;
            expected.modelName = ModelNameOf(v2);
            FUZZ_CHECK(ModelName(v2) == expected.modelName);
            break;
        }
        case 255: {
            const auto* status = answer ? std::get_if<RecordStatusAnswer>(&*answer) : nullptr;
            FUZZ_CHECK(status && status->status == v1);
            expected.recordStatus = v1;
            break;
        }
        default:
            FUZZ_CHECK(!answer);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FUZZ_CHECK(!DecodeAnswer(1, nullptr, 8));

    IowKit2Double hid;
    RecordingDesktop desktop;
    SwitchConnection connection(desktop);
    FUZZ_CHECK(IowKit2RegisterDeviceCallback(SwitchConnection::OnDeviceEvent,
                                             connection.CallbackContext()) == 0);
    const IowKit2Handle device = hid.Plug();
    FUZZ_CHECK(connection.DeviceHandle() == device);
    const IowKit2ReadCallback callback = hid.ReadCallback(device, 1);
    void* const context = hid.ReadCallbackContext(device, 1);
    FUZZ_CHECK(callback != nullptr);

    Expected expected;
    std::size_t at = 0;
    while (at + 2 <= size) {
        const unsigned pipe = data[at] % kPipeChoices;
        unsigned length = data[at + 1] % kLengthChoices;
        at += 2;
        length = static_cast<unsigned>(std::min<std::size_t>(length, size - at));
        const auto report = std::make_unique<uint8_t[]>(length);
        std::copy_n(data + at, length, report.get());
        at += length;

        const uint32_t portBefore = expected.port;
        CheckAnswer(pipe, report.get(), length, expected);
        const std::size_t eventsBefore = desktop.Events().size();
        FUZZ_CHECK(callback(device, pipe, report.get(), length, context) == 1);

        FUZZ_CHECK(connection.FirmwareVersion() == expected.firmwareVersion);
        FUZZ_CHECK(connection.CurrentPort() == expected.port);
        FUZZ_CHECK(connection.SecondPort() == expected.secondPort);
        FUZZ_CHECK(connection.DeviceType() == expected.deviceType);
        FUZZ_CHECK(connection.RecordStatus() == expected.recordStatus);
        FUZZ_CHECK(desktop.Item(ID_MODEL_NAME).text == expected.modelName);
        // A port state marks its port in the menu when there is an item for it.
        if (expected.port != portBefore && expected.port < 4) {
            for (unsigned item = 0; item < 4; ++item) {
                FUZZ_CHECK(desktop.Item(ID_PORT_A + item).checked == (item == expected.port));
            }
        }
        if (pipe != 1) {
            FUZZ_CHECK(desktop.Events().size() == eventsBefore);
        }
    }
    FUZZ_CHECK(connection.DeviceHandle() == device);
    return 0;
}
