#include "switchlink/switch_connection.h"

#include <array>

#include "resources/resource.h"
#include "switchlink/switch_answers.h"
#include "switchlink/switch_reports.h"

using namespace switchlink;

namespace {

// The port items of the tray menu, in port order.
constexpr std::array<unsigned, kPortCount> kPortItems{ID_PORT_A, ID_PORT_B, ID_PORT_C, ID_PORT_D};

// The read callback tells the layer every report was consumed.
constexpr int kReportConsumed = 1;

}  // namespace

SwitchConnection::SwitchConnection(Desktop& desktop) : desktop_(desktop) {}

void SwitchConnection::OnDeviceEvent(int event, IowKit2Handle device, void* context) {
    auto* connection = static_cast<SwitchConnection*>(context);
    if (connection == nullptr) {
        return;
    }
    if (event == kIowKit2Arrival) {
        connection->HandleArrival(device);
    } else if (event == kIowKit2Removal) {
        connection->HandleRemoval(device);
    }
}

int SwitchConnection::OnSwitchReport(IowKit2Handle /*device*/, unsigned pipe, const uint8_t* report,
                                     unsigned length, void* context) {
    if (auto* connection = static_cast<SwitchConnection*>(context)) {
        connection->HandleReport(pipe, report, length);
    }
    return kReportConsumed;
}

void SwitchConnection::HandleArrival(IowKit2Handle device) {
    // One switch at a time: a further one stays unclaimed.
    if (device_ != nullptr || IowKit2GetProductId(device) != kSwitchProductId) {
        return;
    }
    // Nothing below is checked: a switch that cannot be set up stays held and
    // simply does not answer.
    IowKit2SetClaimed(device, 1);
    device_ = device;
    IowKit2SetReadCallback(device, kSwitchPipe, &SwitchConnection::OnSwitchReport,
                           CallbackContext());
    channelReport_ = ChannelEnableReport();
    WriteToSwitch(channelReport_);
    serialNumber_ = IowKit2GetSerialNumber(device);
    hardwareRevision_ = static_cast<uint32_t>(IowKit2GetRevision(device));
    QueryPort();
    QueryFirmwareVersion();
    QueryDeviceType();
}

void SwitchConnection::HandleRemoval(IowKit2Handle device) {
    // The values the switch reported, and the menu showing them, stay.
    if (device == nullptr || device != device_) {
        return;
    }
    IowKit2SetClaimed(device, 0);
    device_ = nullptr;
}

void SwitchConnection::HandleReport(unsigned pipe, const uint8_t* report, unsigned length) {
    const std::optional<SwitchAnswer> answer = DecodeAnswer(pipe, report, length);
    if (!answer) {
        return;
    }
    if (const auto* version = std::get_if<FirmwareVersionAnswer>(&*answer)) {
        firmwareVersion_ = FirmwareVersionText(version->major, version->minor);
        ++versionAnswers_;
        desktop_.SendUpdateStatus();
    } else if (const auto* portState = std::get_if<PortStateAnswer>(&*answer)) {
        currentPort_ = portState->port;
        secondPort_ = portState->secondPort;
        ++portAnswers_;
        ShowPort(portState->port);
    } else if (const auto* type = std::get_if<DeviceTypeAnswer>(&*answer)) {
        desktop_.SetMenuItemText(ID_MODEL_NAME, GetModelName(type->deviceType));
        desktop_.DisableMenuItem(ID_MODEL_NAME);
        deviceType_ = type->deviceType;
    } else if (const auto* status = std::get_if<RecordStatusAnswer>(&*answer)) {
        recordStatus_ = status->status;
        if (transferStatus_ == 0) {
            transferStatus_ = status->status;
        }
        if (status->status == 0) {
            ++confirmedRecords_;
        }
    }
}

void SwitchConnection::ShowPort(uint32_t port) {
    // A port the menu has no item for leaves the check marks as they are.
    if (port >= kPortCount) {
        return;
    }
    for (uint32_t index = 0; index < kPortCount; ++index) {
        desktop_.SetMenuItemChecked(kPortItems[index], index == port);
    }
}

int SwitchConnection::WriteToSwitch(const ReportBuffer& report) {
    return IowKit2Write(device_, kSwitchPipe, report.data());
}

void SwitchConnection::SendQuery(uint8_t command) {
    const ReportBuffer query = QueryReport(command);
    WriteToSwitch(query);
    WriteToSwitch(FollowUpReport(query));
}

void SwitchConnection::QueryPort() {
    SendQuery(kCommandQueryPort);
}

void SwitchConnection::QueryFirmwareVersion() {
    SendQuery(kCommandQueryFirmwareVersion);
}

void SwitchConnection::QueryDeviceType() {
    SendQuery(kCommandQueryDeviceType);
}

int SwitchConnection::BeginFirmwareTransfer() {
    // A status left from an earlier transfer says nothing about this one.
    recordStatus_ = 0;
    transferStatus_ = 0;
    confirmedRecords_ = 0;
    return WriteToSwitch(OneByteCommandReport(kCommandFirmwareTransfer));
}

bool SwitchConnection::EndFirmwareTransfer() {
    const bool first = WriteToSwitch(OneByteCommandReport(kCommandFirmwareTransfer)) != 0;
    const bool second = WriteToSwitch(OneByteCommandReport(kCommandFirmwareTransferEnd)) != 0;
    return first && second;
}

bool SwitchConnection::SendFirmwareRecord(std::string_view record, uint8_t recordType) {
    const std::vector<ReportBuffer> reports = FirmwareRecordReports(record, recordType);
    // The header goes first; the switch gets a moment after every data
    // chunk, in which its answers (the statuses of earlier records) are
    // decoded.
    if (WriteToSwitch(reports.front()) == 0) {
        return false;
    }
    for (size_t chunk = 1; chunk < reports.size(); ++chunk) {
        if (WriteToSwitch(reports[chunk]) == 0) {
            return false;
        }
        desktop_.SleepHandlingReports(kRecordPauseMilliseconds, nullptr);
    }
    const ReportBuffer statusQuery = QueryReport(kCommandQueryRecordStatus);
    if (WriteToSwitch(statusQuery) == 0) {
        return false;
    }
    desktop_.SleepHandlingReports(kRecordPauseMilliseconds, nullptr);
    return WriteToSwitch(FollowUpReport(statusQuery)) != 0;
}

std::string SwitchConnection::GetModelName(uint32_t deviceType) {
    return ModelName(deviceType);
}
