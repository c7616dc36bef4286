// The connection with the one switch in use: takes a switch when the HID
// layer reports one arriving, lets go of it on removal, sends the switch's
// requests, and keeps and shows what the switch answers. The tray controller
// derives from it; all of it runs on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hid/iowkit2.h"
#include "switchlink/desktop.h"
#include "switchlink/switch_protocol.h"

class SwitchConnection {
  public:
    // Product id of the switch's USB controller; other devices are left alone.
    static constexpr int kSwitchProductId = 1003;  // 0x03EB
    // Current and second port before the switch reported any: above the last
    // port, so no menu item is checked for it and a rotate step goes to port A.
    static constexpr uint32_t kUnknownPort = 0xFFFFFFFF;
    // Device type before the switch reported one; its model name is "Unknown".
    static constexpr uint32_t kUnknownDeviceType = 0;

    explicit SwitchConnection(Desktop& desktop);
    virtual ~SwitchConnection() = default;
    SwitchConnection(const SwitchConnection&) = delete;
    SwitchConnection& operator=(const SwitchConnection&) = delete;

    // The HID layer's callbacks. Pass CallbackContext() as their context.
    static void OnDeviceEvent(int event, IowKit2Handle device, void* context);
    // Decodes one answer of the switch; always returns 1 (consumed).
    static int OnSwitchReport(IowKit2Handle device, unsigned pipe, const uint8_t* report,
                              unsigned length, void* context);
    // This object as the callbacks expect it, also when a derived class has
    // further bases.
    void* CallbackContext() { return static_cast<SwitchConnection*>(this); }

    // Queries: each sends the query and its follow-up; the answer arrives later
    // through OnSwitchReport.
    void QueryPort();
    void QueryFirmwareVersion();
    void QueryDeviceType();

    // Firmware transfer. BeginFirmwareTransfer returns the write's result
    // and starts the transfer's record status and count of confirmed records
    // from 0; EndFirmwareTransfer tells whether both its reports went out.
    int BeginFirmwareTransfer();
    bool EndFirmwareTransfer();
    // Sends one record and queries its status, handling the switch's answers
    // during the pauses; false when a write failed (the rest of the record
    // is then not sent).
    bool SendFirmwareRecord(std::string_view record, uint8_t recordType);
    // The first non-zero record status the switch answered since the
    // transfer began, or 0.
    uint32_t TransferStatus() const { return transferStatus_; }
    // The status answers of 0 (record taken) since the transfer began.
    size_t ConfirmedRecords() const { return confirmedRecords_; }
    // Counts the firmware version answers, so a caller can wait for the next.
    unsigned VersionAnswerCount() const { return versionAnswers_; }
    // Counts the port state answers, so a caller can wait for the next.
    unsigned PortAnswerCount() const { return portAnswers_; }

    static std::string GetModelName(uint32_t deviceType);

    // Writes a report on the switch's pipe of the held device; the layer's
    // result (0 on failure, also when no switch is held).
    int WriteToSwitch(const switchlink::ReportBuffer& report);

    // Connection state.
    IowKit2Handle DeviceHandle() const { return device_; }
    bool HasSwitch() const { return device_ != nullptr; }
    uint32_t SerialNumber() const { return serialNumber_; }
    uint32_t HardwareRevision() const { return hardwareRevision_; }
    const std::string& FirmwareVersion() const { return firmwareVersion_; }
    uint32_t CurrentPort() const { return currentPort_; }
    void SetCurrentPort(uint32_t port) { currentPort_ = port; }
    uint32_t SecondPort() const { return secondPort_; }
    uint32_t DeviceType() const { return deviceType_; }
    uint32_t RecordStatus() const { return recordStatus_; }

  private:
    void HandleArrival(IowKit2Handle device);
    void HandleRemoval(IowKit2Handle device);
    void HandleReport(unsigned pipe, const uint8_t* report, unsigned length);
    void SendQuery(uint8_t command);
    void ShowPort(uint32_t port);

    Desktop& desktop_;
    IowKit2Handle device_ = nullptr;
    switchlink::ReportBuffer channelReport_{};
    uint32_t serialNumber_ = 0;
    uint32_t hardwareRevision_ = 0;
    std::string firmwareVersion_;
    uint32_t currentPort_ = kUnknownPort;
    uint32_t secondPort_ = kUnknownPort;
    uint32_t deviceType_ = kUnknownDeviceType;
    uint32_t recordStatus_ = 0;
    uint32_t transferStatus_ = 0;
    size_t confirmedRecords_ = 0;
    unsigned versionAnswers_ = 0;
    unsigned portAnswers_ = 0;
};
