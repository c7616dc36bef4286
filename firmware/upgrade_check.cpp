#include "firmware/upgrade_check.h"

#include <optional>

#include "firmware/answer_reader.h"
#include "firmware/firmware_transfer.h"
#include "firmware/update_query.h"
#include "resources/resource.h"

using namespace firmware;

namespace {

// Names FirmwareUpgrade::kMaxImageBytes.
constexpr char kImageTooLarge[] =
    "The firmware image is larger than 16 MiB. Nothing was sent to the switch.";
static_assert(FirmwareUpgrade::kMaxImageBytes == 16 * 1024 * 1024);
constexpr char kAnswerTooLarge[] = "The update server's answer is too large.";

// Where string 107 takes the offered version.
constexpr std::string_view kVersionPlaceholder = "%s";
// Marks a version cut short in the question.
constexpr std::string_view kEllipsis = "...";
// Stands for a control character of the version, which a message box would
// not show or would end the text at.
constexpr char kControlReplacement = '?';
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

// Closes the answer however a check ends.
class AnswerCloser {
  public:
    explicit AnswerCloser(HttpClient& http) : http_(http) {}
    ~AnswerCloser() { http_.Close(); }
    AnswerCloser(const AnswerCloser&) = delete;
    AnswerCloser& operator=(const AnswerCloser&) = delete;

  private:
    HttpClient& http_;
};

}  // namespace

FirmwareUpgrade::FirmwareUpgrade(SwitchConnection& connection, Desktop& desktop, HttpClient& http,
                                 UpgradeView& view)
    : connection_(connection), desktop_(desktop), http_(http), view_(view) {}

void FirmwareUpgrade::ShowSwitchVersion() {
    connection_.QueryFirmwareVersion();
    m_strVersion = connection_.FirmwareVersion();
    view_.ShowVersion(m_strVersion);
}

void FirmwareUpgrade::OnReload() {
    connection_.EndFirmwareTransfer();
}

void FirmwareUpgrade::ShowFailure(const std::string& text) {
    http_.Close();
    view_.ShowMessage(text, kUpgradeCaption, UpgradeView::MessageKind::Error);
}

std::string FirmwareUpgrade::OfferQuestion(std::string_view version) {
    std::string shown(version.substr(0, kMaxShownVersionLength));
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kFirstPrintable || byte == kDelete) {
            c = kControlReplacement;
        }
    }
    if (version.size() > kMaxShownVersionLength) {
        shown += kEllipsis;
    }
    std::string question = desktop_.LoadResourceString(IDS_FIRMWARE_NEW_AVAILABLE);
    const size_t placeholder = question.find(kVersionPlaceholder);
    if (placeholder != std::string::npos) {
        question.replace(placeholder, kVersionPlaceholder.size(), shown);
    }
    return question;
}

void FirmwareUpgrade::OnCheck() {
    AnswerCloser closer(http_);
    if (!http_.Open()) {
        return ShowFailure(http_.ErrorText());
    }
    const std::string appVersion = desktop_.LoadResourceString(IDS_APP_VERSION);
    // The answer arrives only once messages are dispatched again, so the
    // request carries the device type the connection holds already.
    connection_.QueryDeviceType();
    const std::string path = UpdateQueryPath(m_strVersion, connection_.DeviceType(), appVersion);
    if (!http_.Get(path)) {
        return ShowFailure(http_.ErrorText());
    }
    const std::optional<uint64_t> bodyLength = http_.BodyLength();
    if (!bodyLength) {
        return ShowFailure(http_.ErrorText());
    }

    AnswerReader reader(http_, *bodyLength, kMaxImageBytes);
    std::string firstLine;
    switch (reader.ReadFirstLine(firstLine)) {
        case AnswerReader::Status::Ok:
            break;
        case AnswerReader::Status::Failed:
            return ShowFailure(http_.ErrorText());
        case AnswerReader::Status::TooLarge:
            return ShowFailure(kAnswerTooLarge);
    }

    if (IsUpToDate(firstLine)) {
        view_.ShowMessage(desktop_.LoadResourceString(IDS_FIRMWARE_UP_TO_DATE), kUpgradeCaption,
                          UpgradeView::MessageKind::Ok);
        return;
    }
    if (view_.ShowMessage(OfferQuestion(firstLine), kUpgradeCaption,
                          UpgradeView::MessageKind::YesNo) != UpgradeView::Answer::Yes) {
        return;
    }

    // The whole image arrives before the switch hears of a transfer: a
    // network failure must never leave it with half a firmware.
    std::string image;
    switch (reader.ReadRest(image)) {
        case AnswerReader::Status::Ok:
            break;
        case AnswerReader::Status::Failed:
            return ShowFailure(http_.ErrorText());
        case AnswerReader::Status::TooLarge:
            return ShowFailure(kImageTooLarge);
    }
    RunFirmwareTransfer(image, *bodyLength, firstLine.size());
}

void FirmwareUpgrade::RunFirmwareTransfer(std::string_view image, uint64_t bodyLength,
                                          size_t firstLineLength) {
    const TransferResult result = TransferImage(
        image, TransferProgress(bodyLength, firstLineLength), connection_, desktop_, view_);
    if (result.kind == TransferResult::Kind::NotConnected) {
        view_.ShowMessage(kNotConnectedMessage, kUpgradeCaption, UpgradeView::MessageKind::Error);
        return;
    }
    if (result.kind == TransferResult::Kind::WriteFailed) {
        view_.TransferFinished();
        view_.ShowMessage(kWriteFailedMessage, kUpgradeCaption, UpgradeView::MessageKind::Error);
        return;
    }
    // The version the switch tells after the transfer, not the one before.
    const unsigned versionAnswers = connection_.VersionAnswerCount();
    connection_.QueryFirmwareVersion();
    desktop_.SleepHandlingReports(kVersionAnswerMilliseconds, [&] {
        return connection_.VersionAnswerCount() != versionAnswers;
    });
    m_strVersion = connection_.FirmwareVersion();
    view_.ShowVersion(m_strVersion);
    view_.TransferFinished();
    if (const std::optional<std::string> message = OutcomeMessage(result.status)) {
        view_.ShowMessage(*message, kUpgradeCaption, UpgradeView::MessageKind::Ok);
    }
}
