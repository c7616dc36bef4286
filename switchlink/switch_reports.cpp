#include "switchlink/switch_reports.h"

#include <algorithm>

namespace switchlink {
namespace {

ReportBuffer TransferReport(uint8_t control) {
    ReportBuffer report{};
    report[kReportIdByte] = kTransferReportId;
    report[kControlByte] = control;
    return report;
}

ReportBuffer CommandReport(uint8_t command, uint8_t argument1, uint8_t argument2) {
    ReportBuffer report = TransferReport(kCommandPayloadLength);
    report[kPayloadByte] = command;
    report[kValue1Byte] = argument1;
    report[kValue2Byte] = argument2;
    return report;
}

constexpr uint8_t kRecordMoreFollows = kRecordReportFlag | kRecordContinuesFlag;

ReportBuffer RecordHeader(uint8_t recordType, size_t length) {
    // The S0 header's third payload byte stays 0.
    const uint8_t payloadLength =
        recordType == kRecordTypeS0 ? kS0RecordHeaderPayloadLength : kRecordHeaderPayloadLength;
    ReportBuffer header = TransferReport(kRecordMoreFollows | payloadLength);
    header[kPayloadByte] = recordType;
    header[kValue1Byte] = static_cast<uint8_t>(length);  // only its low 8 bits fit
    return header;
}

}  // namespace

ReportBuffer ChannelEnableReport() {
    ReportBuffer report{};
    report[kReportIdByte] = kChannelEnableReportId;
    report[kControlByte] = kChannelEnable;
    report[kPayloadByte] = kChannelModeSettings;
    return report;
}

ReportBuffer QueryReport(uint8_t command) {
    return CommandReport(command, 0, 0);
}

ReportBuffer FollowUpReport(ReportBuffer query) {
    query[kPayloadByte] = kCommandFollowUp;
    return query;
}

ReportBuffer SetPortReport(uint8_t port, uint8_t secondPort) {
    return CommandReport(kCommandSetPort, port, secondPort);
}

ReportBuffer OneByteCommandReport(uint8_t command) {
    ReportBuffer report = TransferReport(kOneBytePayloadLength);
    report[kPayloadByte] = command;
    return report;
}

std::vector<ReportBuffer> FirmwareRecordReports(std::string_view record, uint8_t recordType) {
    std::vector<ReportBuffer> reports;
    reports.reserve(1 + (record.size() + kRecordChunkSize - 1) / kRecordChunkSize);
    reports.push_back(RecordHeader(recordType, record.size()));

    size_t position = 0;
    while (position < record.size()) {
        const size_t remaining = record.size() - position;
        // A remainder of exactly six is the last chunk, not one with more to follow.
        const bool last = remaining <= kRecordChunkSize;
        const size_t count = last ? remaining : kRecordChunkSize;
        const auto control = static_cast<uint8_t>(last ? kRecordReportFlag + count
                                                       : kRecordMoreFollows | kRecordChunkSize);
        ReportBuffer chunk = TransferReport(control);
        std::copy_n(record.begin() + position, count, chunk.begin() + kPayloadByte);
        reports.push_back(chunk);
        position += count;
    }
    return reports;
}

}  // namespace switchlink
