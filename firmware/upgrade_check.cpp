#include "firmware/upgrade_check.h"

#include <optional>

#include "firmware/answer_reader.h"
#include "firmware/download_errors.h"
#include "firmware/firmware_transfer.h"
#include "firmware/srecord_check.h"
#include "firmware/update_query.h"
#include "resources/resource.h"

using namespace firmware;

namespace {

// kImageTooLarge names FirmwareUpgrade::kMaxImageBytes.
static_assert(FirmwareUpgrade::kMaxImageBytes == 16 * 1024 * 1024);

// Lines are numbered through the whole answer: line 1 is the verdict, the
// image starts at line 2.
constexpr size_t kImageFirstLine = 2;

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

// Marks a check as running for its whole length, and after it no Yes as
// given.
class CheckScope {
  public:
    CheckScope(bool& checking, bool& agreed) : checking_(checking), agreed_(agreed) {
        checking_ = true;
    }
    ~CheckScope() { checking_ = agreed_ = false; }
    CheckScope(const CheckScope&) = delete;
    CheckScope& operator=(const CheckScope&) = delete;

  private:
    bool& checking_;
    bool& agreed_;
};

// What the user is told when the reader did not read its part whole.
std::string ReadFailureText(AnswerReader::Status status, const AnswerReader& reader,
                            const HttpHead& head, const HttpClient& http,
                            const char* tooLargeText) {
    switch (status) {
        case AnswerReader::Status::TooLarge:
            return tooLargeText;
        case AnswerReader::Status::WrongLength:
            return WrongLengthText(reader.Received(), head.bodyLength.value_or(0));
        case AnswerReader::Status::Ok:
        case AnswerReader::Status::Failed:
            break;
    }
    return http.ErrorText();
}

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
    if (checking_) {
        return;
    }
    connection_.EndFirmwareTransfer();
}

void FirmwareUpgrade::ShowFailure(const std::string& text) {
    http_.Close();
    if (agreed_) {
        view_.TransferFinished();
    }
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
    if (checking_) {
        return;
    }
    const CheckScope scope(checking_, agreed_);
    ShowVersionToldSince();
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
    const std::optional<HttpHead> head = http_.Head();
    if (!head) {
        return ShowFailure(http_.ErrorText());
    }

    AnswerReader reader(http_, head->bodyLength, kMaxImageBytes);
    std::string firstLine;
    const AnswerReader::Status firstLineStatus = reader.ReadFirstLine(firstLine);
    if (!IsSuccessStatus(head->status)) {
        // Any status may still say "up to date"; nothing else but success
        // may offer firmware.
        if (firstLineStatus == AnswerReader::Status::Ok && IsUpToDate(firstLine)) {
            return ShowUpToDate();
        }
        return ShowFailure(StatusText(*head));
    }
    if (firstLineStatus != AnswerReader::Status::Ok) {
        return ShowFailure(ReadFailureText(firstLineStatus, reader, *head, http_, kAnswerTooLarge));
    }

    if (IsUpToDate(firstLine)) {
        return ShowUpToDate();
    }
    if (view_.ShowMessage(OfferQuestion(firstLine), kUpgradeCaption,
                          UpgradeView::MessageKind::YesNo) != UpgradeView::Answer::Yes) {
        return;
    }
    agreed_ = true;

    // The whole image arrives, and is checked, before the switch hears of a
    // transfer: a network failure or a damaged download must never leave it
    // with half a firmware.
    std::string image;
    const AnswerReader::Status imageStatus = reader.ReadRest(image);
    if (imageStatus != AnswerReader::Status::Ok) {
        return ShowFailure(ReadFailureText(imageStatus, reader, *head, http_, kImageTooLarge));
    }
    if (const ImageCheck check = CheckImage(image, kImageFirstLine);
        check.verdict != ImageCheck::Verdict::Ok) {
        return ShowFailure(ImageFaultText(check));
    }
    // The body is as long as declared, or (chunked) as long as it came.
    RunFirmwareTransfer(image, reader.Received(), firstLine.size());
}

void FirmwareUpgrade::ShowUpToDate() {
    view_.ShowMessage(desktop_.LoadResourceString(IDS_FIRMWARE_UP_TO_DATE), kUpgradeCaption,
                      UpgradeView::MessageKind::Ok);
}

void FirmwareUpgrade::RunFirmwareTransfer(std::string_view image, uint64_t bodyLength,
                                          size_t firstLineLength) {
    const TransferResult result = TransferImage(
        image, TransferProgress(bodyLength, firstLineLength), connection_, desktop_, view_);
    const bool versionReported = result.kind == TransferResult::Kind::Ran && ShowNewVersion();
    view_.TransferFinished();
    const TransferOutcome outcome = OutcomeOf(result, versionReported);
    view_.ShowMessage(outcome.text, kUpgradeCaption, outcome.kind);
}

bool FirmwareUpgrade::ShowNewVersion() {
    // A switch that restarts leaves and arrives again; its arrival asks for
    // the version once more.
    const unsigned answers = connection_.VersionAnswerCount();
    connection_.QueryFirmwareVersion();
    desktop_.SleepHandlingReports(kRestartMilliseconds,
                                  [&] { return connection_.VersionAnswerCount() != answers; });
    const bool reported = connection_.VersionAnswerCount() != answers;
    // The version from before the transfer is not shown as the current one.
    m_strVersion = reported ? connection_.FirmwareVersion() : std::string();
    versionAnswersAwaited_ = reported ? std::nullopt : std::optional<unsigned>(answers);
    view_.ShowVersion(m_strVersion);
    return reported;
}

void FirmwareUpgrade::ShowVersionToldSince() {
    if (versionAnswersAwaited_ && connection_.VersionAnswerCount() != *versionAnswersAwaited_) {
        versionAnswersAwaited_.reset();
        m_strVersion = connection_.FirmwareVersion();
        view_.ShowVersion(m_strVersion);
    }
}
