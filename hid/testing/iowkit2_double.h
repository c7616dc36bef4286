// A stand-in for the HID layer in tests: linking the iowkit2_double library
// defines the nine operations of hid/iowkit2.h over virtual devices that an
// IowKit2Double, installed for the lifetime of the object, holds.
//
// The operations validate their arguments as the layer does (null or unknown
// handle, closed or unclaimed device, pipe 2 or more, no buffer: result 0 and
// last-error 87) and journal every call. Tests plug and unplug devices,
// deliver input reports to installed read callbacks and script failures.
// Use it from one thread: callbacks run inside the calls that cause them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hid/iowkit2.h"

// A virtual device: what the property queries answer and how long each
// pipe's reports are.
struct IowKit2DeviceInfo {
    // Pipe 0 of the controller has reports shorter than 8 bytes; pipe 1, the
    // special-mode interface, has 8-byte reports.
    static constexpr unsigned kDefaultPipe0ReportLength = 5;
    static constexpr unsigned kDefaultPipe1ReportLength = 8;
    static constexpr int kSwitchProductId = 0x03EB;

    int productId = kSwitchProductId;
    int revision = 0;
    uint32_t serialNumber = 0;
    std::array<unsigned, kIowKit2PipeCount> outputReportLength{kDefaultPipe0ReportLength,
                                                               kDefaultPipe1ReportLength};
    std::array<unsigned, kIowKit2PipeCount> inputReportLength{kDefaultPipe0ReportLength,
                                                              kDefaultPipe1ReportLength};
};

class IowKit2Double {
  public:
    using DeviceInfo = IowKit2DeviceInfo;

    enum class Operation {
        RegisterDeviceCallback,
        AnnounceUnclaimed,
        Shutdown,
        GetProductId,
        GetRevision,
        GetSerialNumber,
        SetClaimed,
        SetReadCallback,
        Write,
    };

    // One call of an operation, with its arguments and outcome.
    struct Call {
        Operation operation = Operation::Write;
        IowKit2Handle device = nullptr;
        unsigned pipe = 0;           // SetReadCallback, Write
        int value = 0;               // SetClaimed: the value; SetReadCallback: 1 if installing
        std::vector<uint8_t> bytes;  // Write: the pipe's output report length of the buffer
        int64_t result = 0;          // the operation's result (0 for those without one)
        uint32_t lastError = 0;      // last-error code the call left
    };

    // A report that reached a device.
    struct WriteRecord {
        IowKit2Handle device = nullptr;
        unsigned pipe = 0;
        std::vector<uint8_t> bytes;
    };

    IowKit2Double();
    ~IowKit2Double();
    IowKit2Double(const IowKit2Double&) = delete;
    IowKit2Double& operator=(const IowKit2Double&) = delete;

    // Devices. AddDevice opens a device without announcing it (as if it was
    // there at the first scan); Plug also announces its arrival.
    IowKit2Handle AddDevice(const DeviceInfo& info = {});
    IowKit2Handle Plug(const DeviceInfo& info = {});
    // Closes the device and announces its removal; a device left unclaimed
    // after the callback is released at once, a claimed one when its claim is
    // cleared. Its handle then becomes invalid (last-error 87).
    void Unplug(IowKit2Handle device);
    // Calls the device callback as the layer would, without changing devices.
    void AnnounceArrival(IowKit2Handle device);
    void AnnounceRemoval(IowKit2Handle device);

    bool IsValid(IowKit2Handle device) const;  // given out and not released
    bool IsOpen(IowKit2Handle device) const;   // valid and not unplugged
    bool IsClaimed(IowKit2Handle device) const;
    IowKit2ReadCallback ReadCallback(IowKit2Handle device, unsigned pipe) const;
    void* ReadCallbackContext(IowKit2Handle device, unsigned pipe) const;

    // Hands an input report to the pipe's read callback at once, in a 64-byte
    // zeroed buffer holding the first input-report-length bytes, and returns
    // the callback's result. Without a callback (or on an unclaimed device)
    // the report is queued and nullopt returned; reports for which the
    // callback returns 0 are queued too. Closed devices drop reports.
    std::optional<int> DeliverReport(IowKit2Handle device, unsigned pipe,
                                     const std::vector<uint8_t>& report);
    // Reports that arrived but wait for the owner thread: PostReport keeps
    // them, DispatchReports delivers them in order and returns how many.
    void PostReport(IowKit2Handle device, unsigned pipe, std::vector<uint8_t> report);
    size_t DispatchReports();
    size_t PendingReportCount() const { return pending_.size(); }
    const std::deque<std::vector<uint8_t>>& QueuedReports(IowKit2Handle device,
                                                          unsigned pipe) const;

    // Reports that reached a device, in order.
    const std::vector<WriteRecord>& Writes() const { return writes_; }
    // Just the bytes of the writes to one device (every device with nullptr).
    std::vector<std::vector<uint8_t>> WrittenBytes(IowKit2Handle device = nullptr) const;
    void ClearWrites() { writes_.clear(); }
    // Called after every write that reached a device.
    std::function<void(const WriteRecord&)> onWrite;

    const std::vector<Call>& Calls() const { return calls_; }
    // The calls as short lines, e.g. "SetClaimed 1" or "Write 1: 9 4 2 0 0 0 0 0".
    std::vector<std::string> CallNames() const;
    void ClearCalls() { calls_.clear(); }

    // The next `times` calls of the operation fail with `error` (default: a
    // write that timed out). RegisterDeviceCallback returns the code; the
    // others return 0 and change nothing; AnnounceUnclaimed and Shutdown
    // cannot fail.
    void FailNext(Operation operation, uint32_t error = kIowKit2ErrorTimeout, int times = 1);

    bool Started() const { return started_; }
    IowKit2DeviceCallback DeviceCallback() const { return deviceCallback_; }
    void* DeviceCallbackContext() const { return deviceContext_; }

    // The double the nine operations use now, or nullptr.
    static IowKit2Double* Active();

    // The nine operations, reached through the functions of hid/iowkit2.h.
    uint32_t RegisterDeviceCallback(IowKit2DeviceCallback callback, void* context);
    void AnnounceUnclaimed();
    void Shutdown();
    int GetProductId(IowKit2Handle device);
    int GetRevision(IowKit2Handle device);
    uint32_t GetSerialNumber(IowKit2Handle device);
    int SetClaimed(IowKit2Handle device, int value);
    int SetReadCallback(IowKit2Handle device, unsigned pipe, IowKit2ReadCallback callback,
                        void* context);
    int Write(IowKit2Handle device, unsigned pipe, const uint8_t* buffer);

  private:
    struct Pipe {
        IowKit2ReadCallback callback = nullptr;
        void* context = nullptr;
        std::deque<std::vector<uint8_t>> queue;
    };
    struct Device {
        DeviceInfo info;
        bool claimed = false;
        bool open = true;
        bool released = false;
        std::array<Pipe, kIowKit2PipeCount> pipes;
    };
    struct PendingReport {
        IowKit2Handle device;
        unsigned pipe;
        std::vector<uint8_t> report;
    };

    static Call MakeCall(Operation operation, IowKit2Handle device = nullptr, unsigned pipe = 0);
    // A property query: the field of the device's info, or 0 and last-error.
    template <typename Value>
    Value Property(Operation operation, IowKit2Handle device, Value DeviceInfo::*field);
    Device* Lookup(IowKit2Handle device) const;  // any device given out, released or not
    Device* Find(IowKit2Handle device) const;    // a device not released yet
    Device& Get(IowKit2Handle device) const;     // for the test-side API: throws if unknown
    bool TakeScriptedFailure(Operation operation, uint32_t& error);
    // Journals the call and leaves its last-error code.
    void Finish(Call call, uint32_t lastError);
    void ReleaseIfUnclaimedAndClosed(Device& device);
    void CloseAll();

    std::vector<std::unique_ptr<Device>> devices_;
    std::vector<WriteRecord> writes_;
    std::vector<Call> calls_;
    std::map<Operation, std::deque<uint32_t>> failures_;
    std::deque<PendingReport> pending_;
    bool started_ = false;
    IowKit2DeviceCallback deviceCallback_ = nullptr;
    void* deviceContext_ = nullptr;
    IowKit2Double* previous_ = nullptr;
};
