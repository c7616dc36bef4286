// What the HID layer needs of the operating system. The layer holds one
// platform object: the Win32 one over hid.dll, setupapi.dll and cfgmgr32.dll,
// or the simulated device bus of hid/sim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct IowKit2HidAttributes {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
};

// Report lengths in bytes, report id byte included.
struct IowKit2HidCaps {
    uint16_t inputReportLength = 0;
    uint16_t outputReportLength = 0;
};

// One present HID interface: the path to open it by and its device node.
struct IowKit2InterfaceEntry {
    std::string devicePath;
    uint32_t node = 0;
};

// A manual-reset signal, raised once and never lowered.
class IowKit2Signal {
  public:
    virtual ~IowKit2Signal() = default;
    virtual void Raise() = 0;
    virtual bool IsRaised() const = 0;
};

// An interface opened for the enumeration's queries (no overlapped I/O).
class IowKit2Probe {
  public:
    virtual ~IowKit2Probe() = default;  // closes the probe handle
    virtual std::optional<IowKit2HidAttributes> GetAttributes() = 0;
    virtual std::optional<IowKit2HidCaps> GetCaps() = 0;
    // UTF-16 serial number string into a buffer of byteLength bytes.
    virtual bool GetSerialNumberString(void* buffer, uint32_t byteLength) = 0;
    virtual bool GetIndexedString(uint32_t index, void* buffer, uint32_t byteLength) = 0;
};

enum class IowKit2WaitResult {
    kCompletion,  // the pending read finished
    kStopped,     // the stop signal was raised
    kTimeout,     // the time passed
    kFailed,      // the wait itself failed
};

// A pipe's read handle, opened for overlapped I/O. After the reader starts
// only the reader thread uses it; it cancels its own pending read.
class IowKit2ReadPort {
  public:
    virtual ~IowKit2ReadPort() = default;  // closes the handle
    // Number of input reports the platform buffers for this handle.
    virtual bool SetNumInputBuffers(uint32_t count) = 0;
    // Starts a read of length bytes into buffer; the buffer must stay valid
    // until the read completed or was cancelled and reaped.
    virtual void BeginRead(uint8_t* buffer, uint32_t length) = 0;
    virtual IowKit2WaitResult WaitForReadOrStop(IowKit2Signal& stop, uint32_t milliseconds) = 0;
    // The finished read's byte count, waiting for it; false when it failed.
    virtual bool GetReadResult(uint32_t& size) = 0;
    virtual void CancelPendingRead() = 0;
};

// A pipe's write handle, opened for overlapped I/O; used on the owner thread.
class IowKit2WritePort {
  public:
    virtual ~IowKit2WritePort() = default;  // closes the handle
    // Writes length bytes and waits up to timeoutMs (0xFFFFFFFF: no limit).
    // Returns 0 on success, the platform's code when the write could not be
    // started, or kIowKit2ErrorTimeout when it failed, wrote nothing or timed
    // out; an unfinished write is cancelled before this returns.
    virtual uint32_t Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) = 0;
    // Cheap: true when the handle answers that its device is not connected
    // any more. A device unplugged and plugged in again can come back under
    // the same device node while this handle stays on the one that went.
    virtual bool DeviceGone() = 0;
};

class IowKit2Platform {
  public:
    virtual ~IowKit2Platform() = default;

    // Looks up the platform's HID services: 0, or the error code of the
    // failing step (also left as the last-error code).
    virtual uint32_t Load() = 0;
    virtual void Unload() = 0;

    // Calls visit for each present HID interface, in the platform's order,
    // while the platform's device set lives: a device node may belong to that
    // set, so GetParent works on it only inside visit (so it is in Wine).
    // False when the device set cannot be had. Interfaces without a detail
    // are left out.
    virtual bool VisitHidInterfaces(
        const std::function<void(const IowKit2InterfaceEntry&)>& visit) = 0;
    virtual std::optional<uint32_t> GetParent(uint32_t node) = 0;
    // Read/write access first, then no access rights; none when both fail.
    virtual std::unique_ptr<IowKit2Probe> OpenProbe(const std::string& devicePath) = 0;
    virtual std::unique_ptr<IowKit2ReadPort> OpenReadPort(const std::string& devicePath) = 0;
    virtual std::unique_ptr<IowKit2WritePort> OpenWritePort(const std::string& devicePath) = 0;
    // Signals the read ports can wait on.
    virtual std::unique_ptr<IowKit2Signal> CreateSignal() = 0;

    // A platform whose device changes do not reach the carrier by themselves
    // (the simulated bus) calls changed after each one, from any thread.
    // nullptr ends the calls; none is running once that returns. The Win32
    // platform need not override it: the broadcast reaches the hidden window.
    virtual void SetDeviceChangeListener(std::function<void()> changed) { (void)changed; }

    // The layer's private heap, safe for use from several threads at once.
    // CreateHeap returns 0 or the platform's error code.
    virtual uint32_t CreateHeap(size_t initialBytes) = 0;
    virtual void DestroyHeap() = 0;
    // Zeroed block, or nullptr.
    virtual void* HeapAllocate(size_t bytes) = 0;
    virtual void HeapRelease(void* block) = 0;
};

// Installs the platform the layer uses from its next start on.
void IowKit2InstallPlatform(std::unique_ptr<IowKit2Platform> platform);
