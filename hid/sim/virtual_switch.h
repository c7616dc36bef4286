// The virtual Pelorandix switch on the simulated bus: an IO-Warrior with two
// HID interfaces under one device node (pipe 0 with 5-byte reports, pipe 1,
// the special-mode interface, with 8-byte reports), and switch firmware
// behind pipe 1:
//
// - [8, 1, ...] enables the channel; transfers before it go unanswered.
// - A query [9, 4, code, 0, 0, 0] is answered when its follow-up frame
//   [9, 4, 7, ...] arrives: code 0 with [9, 4, 0, 0, major, minor], code 2
//   with the port state [9, 4, 2, 0, port, second], code 3 with
//   [9, 4, 3, 0, type, 0], code 255 with [9, 4, 255, status, 0, 0], the
//   status taken from the scripted ones (0 once they are used up), or not
//   at all while status answers are off (a switch stuck in its loader).
// - Set port [9, 4, 11, port, second] sets the port and answers the port
//   state at once.
// - Firmware records (byte 1 with 0x80) are collected; [9, 1, 8] and
//   [9, 1, 254] are counted as transfer marks. At the end mark [9, 1, 254]
//   the switch takes the version an S0 record of the transfer carries as its
//   data ("1.11": major 1, minor 11) and reports it from then on, unless it
//   refused a record of the transfer or left a status query unanswered.
//
// A program with the switch plugged in at start:
//   auto bus = hidsim::Bus::Make(hidsim::Clock::kReal);
//   auto device = hidsim::VirtualSwitch::Make(bus);
//   device->SetTrafficListener(...);
//   device->Plug();
//   IowKit2InstallPlatform(bus->MakePlatform());  // and a carrier, then start
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hid/sim/sim_bus.h"

namespace hidsim {

inline constexpr uint16_t kSwitchVendorId = 0x1214;
inline constexpr uint16_t kSwitchProductId = 0x03EB;
inline constexpr uint16_t kSwitchPipe0ReportLength = 5;
inline constexpr uint16_t kSwitchPipe1ReportLength = 8;

// Which way a report crossed pipe 1.
enum class Direction { kToSwitch, kFromSwitch };

struct FirmwareRecord {
    uint8_t type = 0;
    uint8_t declaredLength = 0;  // as the header gave it (low 8 bits)
    std::string text;
};

struct SwitchOptions {
    uint16_t productId = kSwitchProductId;
    uint16_t revision = 0x1012;
    std::u16string serialNumber = u"1A2B3C4D";
    uint8_t port = 0;
    uint8_t secondPort = 0;
    uint8_t firmwareMajor = 1;
    uint8_t firmwareMinor = 10;
    uint8_t deviceType = 3;
};

// The interfaces of an IO-Warrior-like device: pipe 0's then pipe 1's.
InterfaceDescription SwitchInterfaceDescription(const SwitchOptions& options, unsigned pipe);
DeviceDescription SwitchDeviceDescription(const SwitchOptions& options);

class VirtualSwitch : public std::enable_shared_from_this<VirtualSwitch> {
  public:
    using Listener = std::function<void(Direction, const uint8_t* report, size_t size)>;

    // A switch, not plugged yet.
    static std::shared_ptr<VirtualSwitch> Make(std::shared_ptr<Bus> bus,
                                               SwitchOptions options = {});

    // Plugging again makes a new device (new nodes), with the firmware's
    // state kept. Both tell the layer, as the platform's broadcast would.
    void Plug();
    void Unplug();
    bool IsPlugged() const;
    // The device as plugged last (for stalls and failures on its pipes).
    std::shared_ptr<Device> CurrentDevice() const;
    // An interface of the current device. While another thread may plug the
    // switch again, hold CurrentDevice() and use its interfaces instead.
    Interface& Pipe(unsigned pipe) const;

    // Sees every report that crosses pipe 1, both ways, as it crosses;
    // calls never overlap.
    void SetTrafficListener(Listener listener);

    // Someone pressed the switch's own button: the port changes and the
    // switch reports its port state.
    void PressPortButton(uint8_t port);
    // Statuses for the next record-status answers, in order.
    void ScriptRecordStatuses(const std::vector<uint8_t>& statuses);
    // Off: record-status queries go unanswered (on at the start).
    void AnswerRecordStatuses(bool answer);

    uint8_t Port() const;
    uint8_t SecondPort() const;
    bool ChannelEnabled() const;
    std::vector<FirmwareRecord> Records() const;
    int TransferMarks() const;

    VirtualSwitch(std::shared_ptr<Bus> bus, SwitchOptions options);

  private:
    void OnOutputReport(const uint8_t* report, size_t size);
    // Runs under mutex_: what the firmware answers to one report.
    std::vector<std::vector<uint8_t>> Answer(const uint8_t* report);
    void TakeRecordPart(const uint8_t* report, uint8_t control);
    void FinishRecord();
    // At the end of a transfer: the version its S0 record names, if any.
    void TakeTransferredVersion();
    void Send(const std::vector<uint8_t>& report);
    void Tell(Direction direction, const uint8_t* report, size_t size);

    const std::shared_ptr<Bus> bus_;
    const SwitchOptions options_;

    mutable std::mutex mutex_;
    std::shared_ptr<Device> device_;
    uint8_t port_;
    uint8_t secondPort_;
    bool channelEnabled_ = false;
    int lastQuery_ = -1;
    std::deque<uint8_t> statuses_;
    bool answerStatuses_ = true;
    bool inRecord_ = false;
    FirmwareRecord record_;
    std::vector<FirmwareRecord> records_;
    int transferMarks_ = 0;
    uint8_t firmwareMajor_;
    uint8_t firmwareMinor_;
    // Records before this index belong to transfers already ended.
    size_t recordsAtLastEnd_ = 0;
    // A record refused, or its status not answered, since the last end mark:
    // that transfer's firmware is not taken.
    bool refusedSinceLastEnd_ = false;

    std::mutex listenerMutex_;
    Listener listener_;
};

}  // namespace hidsim
