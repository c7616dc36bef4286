#include "firmware/download_errors.h"

namespace firmware {

namespace {

constexpr unsigned kFirstSuccessStatus = 200;
constexpr unsigned kFirstStatusAfterSuccess = 300;

constexpr char kStatusPrefix[] = "The update server answered ";
constexpr char kEndedEarly[] = "The download of the firmware ended early: ";
constexpr char kLongerThanDeclared[] = "The download of the firmware is longer than declared: ";
constexpr char kOf[] = " of ";
constexpr char kBytesArrived[] = " bytes arrived.";
constexpr char kDamagedPrefix[] = "The firmware image is damaged: line ";
constexpr char kDamagedSuffix[] = " is not a valid S-record.";
constexpr char kNoRecords[] = "The firmware image holds no records.";
constexpr char kNoData[] = "The firmware image is incomplete: it holds no S1 data records.";
constexpr char kNoEnd[] =
    "The firmware image is incomplete: its last record is not the S9 end record.";
constexpr char kTooLongPrefix[] = "The firmware image cannot be sent: line ";
constexpr char kTooLongSuffix[] = " is longer than the switch takes.";
constexpr char kNothingSent[] = " Nothing was sent to the switch.";

}  // namespace

bool IsSuccessStatus(unsigned status) {
    return status >= kFirstSuccessStatus && status < kFirstStatusAfterSuccess;
}

std::string StatusText(const HttpHead& head) {
    std::string text = kStatusPrefix + std::to_string(head.status);
    if (!head.reason.empty()) {
        text += ' ' + head.reason;
    }
    return text;
}

std::string WrongLengthText(uint64_t received, uint64_t declared) {
    return (received < declared ? kEndedEarly : kLongerThanDeclared) + std::to_string(received) +
           kOf + std::to_string(declared) + kBytesArrived + kNothingSent;
}

std::string ImageFaultText(const ImageCheck& check) {
    const std::string line = std::to_string(check.lineNumber);
    switch (check.verdict) {
        case ImageCheck::Verdict::DamagedRecord:
            return kDamagedPrefix + line + kDamagedSuffix + kNothingSent;
        case ImageCheck::Verdict::TooLong:
            return kTooLongPrefix + line + kTooLongSuffix + kNothingSent;
        case ImageCheck::Verdict::NoData:
            return std::string(kNoData) + kNothingSent;
        case ImageCheck::Verdict::NoEnd:
            return std::string(kNoEnd) + kNothingSent;
        case ImageCheck::Verdict::NoRecords:
        case ImageCheck::Verdict::Ok:
            break;
    }
    return std::string(kNoRecords) + kNothingSent;
}

}  // namespace firmware
