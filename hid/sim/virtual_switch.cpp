#include "hid/sim/virtual_switch.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace hidsim {
namespace {

// Report ids of the IO-Warrior's special mode.
constexpr uint8_t kEnableReportId = 8;
constexpr uint8_t kTransferReportId = 9;
// Transfer control byte: payload count plus the firmware-record flags.
constexpr uint8_t kControlRecord = 0x80;
constexpr uint8_t kControlMoreFollows = 0x40;
constexpr uint8_t kControlCountMask = 0x3F;
constexpr uint8_t kCommandFrameCount = 4;
constexpr uint8_t kOneByteCount = 1;

// Command codes of the switch (byte 2 of a transfer).
constexpr uint8_t kQueryFirmwareVersion = 0;
constexpr uint8_t kQueryPort = 2;
constexpr uint8_t kQueryDeviceType = 3;
constexpr uint8_t kFollowUp = 7;
constexpr uint8_t kSetPort = 11;
constexpr uint8_t kQueryRecordStatus = 255;
constexpr uint8_t kTransferMarkBegin = 8;
constexpr uint8_t kTransferMarkEnd = 254;

// Answer codes (byte 2 of an input report).
constexpr uint8_t kAnswerFirmwareVersion = 0;
constexpr uint8_t kAnswerPortState = 2;
constexpr uint8_t kAnswerDeviceType = 3;
constexpr uint8_t kAnswerRecordStatus = 255;

constexpr uint16_t kLanguageEnglishUs = 0x0409;

// The record type byte of an S0 record.
constexpr uint8_t kRecordTypeS0 = 0xF0;

std::optional<int> HexValue(std::string_view digits) {
    int value = 0;
    for (char digit : digits) {
        int nibble;
        if (digit >= '0' && digit <= '9') {
            nibble = digit - '0';
        } else if (digit >= 'A' && digit <= 'F') {
            nibble = digit - 'A' + 10;
        } else if (digit >= 'a' && digit <= 'f') {
            nibble = digit - 'a' + 10;
        } else {
            return std::nullopt;
        }
        value = value * 16 + nibble;
    }
    return value;
}

// One to three decimal digits up to 255.
std::optional<uint8_t> DecimalByte(std::string_view digits) {
    if (digits.empty() || digits.size() > 3) {
        return std::nullopt;
    }
    int value = 0;
    for (char digit : digits) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
        value = value * 10 + (digit - '0');
    }
    if (value > 255) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(value);
}

// "S0" + count + 4-digit address + data + checksum, the data the text
// "major.minor" in ASCII.
std::optional<std::pair<uint8_t, uint8_t>> S0RecordVersion(std::string_view record) {
    constexpr size_t kDataStart = 8;  // after "S0", the count and the address
    constexpr size_t kChecksumDigits = 2;
    if (record.size() < kDataStart + kChecksumDigits || record.substr(0, 2) != "S0") {
        return std::nullopt;
    }
    const std::string_view data =
        record.substr(kDataStart, record.size() - kDataStart - kChecksumDigits);
    std::string text;
    for (size_t at = 0; at + 1 < data.size(); at += 2) {
        const auto byte = HexValue(data.substr(at, 2));
        if (!byte) {
            return std::nullopt;
        }
        text.push_back(static_cast<char>(*byte));
    }
    const size_t dot = text.find('.');
    if (dot == std::string::npos) {
        return std::nullopt;
    }
    const auto major = DecimalByte(std::string_view(text).substr(0, dot));
    const auto minor = DecimalByte(std::string_view(text).substr(dot + 1));
    if (!major || !minor) {
        return std::nullopt;
    }
    return std::pair<uint8_t, uint8_t>(*major, *minor);
}

std::vector<uint8_t> AnswerReport(uint8_t code, uint8_t value1, uint8_t value2, uint8_t value3) {
    std::vector<uint8_t> report(kSwitchPipe1ReportLength, 0);
    report[0] = kTransferReportId;
    report[1] = kCommandFrameCount;
    report[2] = code;
    report[3] = value1;
    report[4] = value2;
    report[5] = value3;
    return report;
}

}  // namespace

InterfaceDescription SwitchInterfaceDescription(const SwitchOptions& options, unsigned pipe) {
    InterfaceDescription description;
    description.attributes = {kSwitchVendorId, options.productId, options.revision};
    const uint16_t length = pipe == 0 ? kSwitchPipe0ReportLength : kSwitchPipe1ReportLength;
    description.caps = IowKit2HidCaps{length, length};
    if (!options.serialNumber.empty()) {
        description.serialNumber = options.serialNumber;
    }
    // String 0 is the device's language list.
    description.indexedStrings[0] = std::u16string(1, char16_t{kLanguageEnglishUs});
    return description;
}

DeviceDescription SwitchDeviceDescription(const SwitchOptions& options) {
    return DeviceDescription{
        {SwitchInterfaceDescription(options, 0), SwitchInterfaceDescription(options, 1)}};
}

VirtualSwitch::VirtualSwitch(std::shared_ptr<Bus> bus, SwitchOptions options)
    : bus_(std::move(bus)),
      options_(std::move(options)),
      port_(options_.port),
      secondPort_(options_.secondPort),
      firmwareMajor_(options_.firmwareMajor),
      firmwareMinor_(options_.firmwareMinor) {}

std::shared_ptr<VirtualSwitch> VirtualSwitch::Make(std::shared_ptr<Bus> bus,
                                                   SwitchOptions options) {
    return std::make_shared<VirtualSwitch>(std::move(bus), std::move(options));
}

void VirtualSwitch::Plug() {
    if (IsPlugged()) {
        return;
    }
    DeviceDescription description = SwitchDeviceDescription(options_);
    // The layer's ports may keep the device (and so this handler) after the
    // switch is gone: the handler holds the switch weakly.
    description.interfaces[1].outputHandler = [weak = weak_from_this()](const uint8_t* report,
                                                                        size_t size) {
        if (auto self = weak.lock()) {
            self->OnOutputReport(report, size);
        }
    };
    auto device = bus_->Plug(description);
    std::lock_guard lock(mutex_);
    device_ = std::move(device);
}

void VirtualSwitch::Unplug() {
    std::shared_ptr<Device> device = CurrentDevice();
    if (device) {
        device->Unplug();
    }
}

bool VirtualSwitch::IsPlugged() const {
    std::shared_ptr<Device> device = CurrentDevice();
    return device && device->IsPlugged();
}

std::shared_ptr<Device> VirtualSwitch::CurrentDevice() const {
    std::lock_guard lock(mutex_);
    return device_;
}

Interface& VirtualSwitch::Pipe(unsigned pipe) const {
    return CurrentDevice()->GetInterface(pipe);
}

void VirtualSwitch::SetTrafficListener(Listener listener) {
    std::lock_guard lock(listenerMutex_);
    listener_ = std::move(listener);
}

void VirtualSwitch::Tell(Direction direction, const uint8_t* report, size_t size) {
    std::lock_guard lock(listenerMutex_);
    if (listener_) {
        listener_(direction, report, size);
    }
}

void VirtualSwitch::Send(const std::vector<uint8_t>& report) {
    std::shared_ptr<Device> device = CurrentDevice();
    if (!device || !device->IsPlugged()) {
        return;
    }
    Tell(Direction::kFromSwitch, report.data(), report.size());
    device->GetInterface(1).SendInputReport(report.data(), report.size());
}

void VirtualSwitch::OnOutputReport(const uint8_t* report, size_t size) {
    Tell(Direction::kToSwitch, report, size);
    std::vector<std::vector<uint8_t>> answers;
    if (size >= kSwitchPipe1ReportLength) {
        std::lock_guard lock(mutex_);
        answers = Answer(report);
    }
    for (const auto& answer : answers) {
        Send(answer);
    }
}

std::vector<std::vector<uint8_t>> VirtualSwitch::Answer(const uint8_t* report) {
    if (report[0] == kEnableReportId) {
        channelEnabled_ = report[1] != 0;
        return {};
    }
    if (report[0] != kTransferReportId || !channelEnabled_) {
        return {};
    }
    const uint8_t control = report[1];
    if (inRecord_) {
        const bool dataChunk =
            (control & kControlRecord) != 0 &&
            ((control & kControlMoreFollows) == 0 || (control & kControlCountMask) == 6);
        if (dataChunk) {
            TakeRecordPart(report, control);
            return {};
        }
        FinishRecord();  // a record of no data, or one cut short
    }
    if ((control & kControlRecord) != 0) {
        inRecord_ = true;
        record_ = FirmwareRecord{report[2], report[3], {}};
        return {};
    }
    const uint8_t count = control & kControlCountMask;
    const uint8_t command = report[2];
    if (count == kOneByteCount) {
        if (command == kTransferMarkBegin || command == kTransferMarkEnd) {
            ++transferMarks_;
        }
        if (command == kTransferMarkEnd) {
            TakeTransferredVersion();
        }
        return {};
    }
    switch (command) {
        case kQueryFirmwareVersion:
        case kQueryPort:
        case kQueryDeviceType:
        case kQueryRecordStatus:
            lastQuery_ = command;
            return {};
        case kSetPort:
            port_ = report[3];
            secondPort_ = report[4];
            return {AnswerReport(kAnswerPortState, 0, port_, secondPort_)};
        case kFollowUp:
            break;
        default:
            return {};
    }
    const int query = std::exchange(lastQuery_, -1);
    switch (query) {
        case kQueryFirmwareVersion:
            return {AnswerReport(kAnswerFirmwareVersion, 0, firmwareMajor_, firmwareMinor_)};
        case kQueryPort:
            return {AnswerReport(kAnswerPortState, 0, port_, secondPort_)};
        case kQueryDeviceType:
            return {AnswerReport(kAnswerDeviceType, 0, options_.deviceType, 0)};
        case kQueryRecordStatus: {
            if (!answerStatuses_) {
                refusedSinceLastEnd_ = true;
                return {};
            }
            uint8_t status = 0;
            if (!statuses_.empty()) {
                status = statuses_.front();
                statuses_.pop_front();
            }
            refusedSinceLastEnd_ = refusedSinceLastEnd_ || status != 0;
            return {AnswerReport(kAnswerRecordStatus, status, 0, 0)};
        }
        default:
            return {};
    }
}

void VirtualSwitch::TakeRecordPart(const uint8_t* report, uint8_t control) {
    const size_t count = std::min<size_t>(control & kControlCountMask, 6);
    record_.text.append(reinterpret_cast<const char*>(report + 2), count);
    if ((control & kControlMoreFollows) == 0) {
        FinishRecord();
    }
}

void VirtualSwitch::FinishRecord() {
    records_.push_back(std::move(record_));
    record_ = {};
    inRecord_ = false;
}

void VirtualSwitch::TakeTransferredVersion() {
    for (size_t index = recordsAtLastEnd_; index < records_.size() && !refusedSinceLastEnd_;
         ++index) {
        if (records_[index].type != kRecordTypeS0) {
            continue;
        }
        if (const auto version = S0RecordVersion(records_[index].text)) {
            firmwareMajor_ = version->first;
            firmwareMinor_ = version->second;
        }
    }
    recordsAtLastEnd_ = records_.size();
    refusedSinceLastEnd_ = false;
}

void VirtualSwitch::PressPortButton(uint8_t port) {
    std::vector<uint8_t> answer;
    {
        std::lock_guard lock(mutex_);
        port_ = port;
        answer = AnswerReport(kAnswerPortState, 0, port_, secondPort_);
    }
    Send(answer);
}

void VirtualSwitch::ScriptRecordStatuses(const std::vector<uint8_t>& statuses) {
    std::lock_guard lock(mutex_);
    statuses_.insert(statuses_.end(), statuses.begin(), statuses.end());
}

void VirtualSwitch::AnswerRecordStatuses(bool answer) {
    std::lock_guard lock(mutex_);
    answerStatuses_ = answer;
}

uint8_t VirtualSwitch::Port() const {
    std::lock_guard lock(mutex_);
    return port_;
}

uint8_t VirtualSwitch::SecondPort() const {
    std::lock_guard lock(mutex_);
    return secondPort_;
}

bool VirtualSwitch::ChannelEnabled() const {
    std::lock_guard lock(mutex_);
    return channelEnabled_;
}

std::vector<FirmwareRecord> VirtualSwitch::Records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

int VirtualSwitch::TransferMarks() const {
    std::lock_guard lock(mutex_);
    return transferMarks_;
}

}  // namespace hidsim
