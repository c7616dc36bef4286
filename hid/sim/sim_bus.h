// A virtual USB HID bus for the layer's platform seam: devices made of HID
// interfaces with device nodes, parents, attributes, capabilities, serial and
// indexed strings, and pipe I/O that behaves like the platform's: each open
// read handle buffers input reports (32 until the layer asks for more; the
// oldest is dropped when the buffer is full), a read stays pending until a
// report or a failure completes it, and a write waits for the device.
//
// Tests plug and unplug devices, stall or fail reads and writes, inject input
// reports and drive the clock of the platform's timed waits. Plugging and
// unplugging tell the layer's listener (IowKit2Platform::
// SetDeviceChangeListener), as the platform's broadcast would.
//
// Everything here is safe to call from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "hid/iowkit2.h"
#include "hid/platform.h"

namespace hidsim {

// Platform error codes the bus hands out.
inline constexpr uint32_t kErrorGenFailure = 31;            // ERROR_GEN_FAILURE
inline constexpr uint32_t kErrorDeviceNotConnected = 1167;  // ERROR_DEVICE_NOT_CONNECTED
inline constexpr uint32_t kErrorInvalidUserBuffer = 1784;   // ERROR_INVALID_USER_BUFFER
inline constexpr uint32_t kInfiniteWait = 0xFFFFFFFF;
// Input reports a read handle buffers until the layer asks for another count,
// and the counts the platform accepts.
inline constexpr uint32_t kDefaultInputBuffers = 32;
inline constexpr uint32_t kMinInputBuffers = 2;
inline constexpr uint32_t kMaxInputBuffers = 512;

// How the platform's timed waits end: after real time, or only when the test
// calls Bus::ExpireWaits (waits without a limit never time out).
enum class Clock { kManual, kReal };

struct InterfaceDescription {
    IowKit2HidAttributes attributes;
    // None: the capabilities cannot be fetched.
    std::optional<IowKit2HidCaps> caps = IowKit2HidCaps{};
    // UTF-16 strings as the platform returns them; none: no serial number.
    std::optional<std::u16string> serialNumber;
    std::map<uint32_t, std::u16string> indexedStrings;
    bool attributesFail = false;
    bool probeFails = false;     // opens neither with nor without access rights
    bool detailFails = false;    // left out of the interface list
    bool pipeOpenFails = false;  // no overlapped read or write handle
    // The device side of writes (see Interface::SetOutputHandler).
    std::function<void(const uint8_t*, size_t)> outputHandler;
};

struct DeviceDescription {
    std::vector<InterfaceDescription> interfaces;
};

// What happened on an interface's read handles.
struct ReadActivity {
    size_t openPorts = 0;
    uint64_t readsBegun = 0;
    uint64_t readsCancelled = 0;
    uint64_t waitsEntered = 0;
    uint64_t reportsDelivered = 0;
    uint64_t reportsDropped = 0;   // pushed out of a full input buffer
    bool waiting = false;          // a reader is in its wait
    uint32_t lastWaitLimitMs = 0;  // the time limit of the latest wait
    bool readPending = false;
    size_t buffered = 0;
};

struct WriteActivity {
    size_t openPorts = 0;
    uint64_t writesBegun = 0;
    uint64_t writesSucceeded = 0;
    uint64_t writesFailed = 0;
    uint64_t writesCancelled = 0;
    size_t stalled = 0;  // waiting for ReleaseStalledWrites
};

struct HeapStats {
    bool exists = false;
    size_t liveBlocks = 0;
    uint64_t allocations = 0;
    // Blocks still allocated when the heap was destroyed: leaks of the layer.
    uint64_t releasedByDestroy = 0;
};

class Bus;
struct ReadPortState;
struct WriteOperation;

// One HID interface of a plugged device.
class Interface {
  public:
    const std::string& Path() const { return path_; }
    uint32_t Node() const { return node_; }
    const InterfaceDescription& Described() const { return description_; }

    // The device sends an input report: padded or cut to the input report
    // length, it goes to every open read handle. Nothing when unplugged.
    void SendInputReport(const uint8_t* data, size_t size);
    // While stalled, reads stay pending; reports wait in the input buffers.
    void StallReads(bool stalled);
    // The pending read of every open read handle fails (or the next one, when
    // none is pending).
    void FailPendingReads();
    // Writes complete with an error while set.
    void FailWrites(bool fail);
    // Writes stay pending while set, until ReleaseStalledWrites, unplugging or
    // their time limit.
    void StallWrites(bool stall);
    void ReleaseStalledWrites();
    // The device side of writes: called on the writing thread with each
    // report the device takes, before the write completes.
    void SetOutputHandler(std::function<void(const uint8_t*, size_t)> handler);

    ReadActivity Reads() const;
    WriteActivity Writes() const;
    // Waits until a reader sits in its wait with a read pending and nothing
    // left in its buffer: every report sent so far was read and delivered.
    bool AwaitIdleReader(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    bool AwaitStalledWrite(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

    Interface(Bus& bus, InterfaceDescription description, std::string path, uint32_t node);

  private:
    friend class Bus;
    friend class Device;
    Bus& bus_;
    const InterfaceDescription description_;
    const std::string path_;
    const uint32_t node_;
    // Guarded by the bus mutex.
    bool plugged_ = true;
    bool readsStalled_ = false;
    bool writesFail_ = false;
    bool writesStall_ = false;
    std::vector<ReadPortState*> readPorts_;
    size_t writePorts_ = 0;
    std::deque<WriteOperation*> stalledWrites_;
    std::shared_ptr<std::function<void(const uint8_t*, size_t)>> outputHandler_;
    ReadActivity reads_;
    WriteActivity writes_;
};

// A plugged (or formerly plugged) device.
class Device {
  public:
    uint32_t Node() const { return node_; }
    size_t InterfaceCount() const { return interfaces_.size(); }
    Interface& GetInterface(size_t index) const { return *interfaces_.at(index); }
    void Unplug();
    bool IsPlugged() const;
    // The same device plugged in again after Unplug, as the platform may
    // give it back on a quick replug: under the same device nodes and paths,
    // while handles opened before stay on the device that went. nullptr
    // while it is plugged, as this device or as one plugged in again.
    std::shared_ptr<Device> PlugAgain();

    Device(std::shared_ptr<Bus> bus, uint32_t node,
           std::vector<std::shared_ptr<Interface>> interfaces);

  private:
    friend class Bus;
    std::shared_ptr<Bus> bus_;
    const uint32_t node_;
    const std::vector<std::shared_ptr<Interface>> interfaces_;
};

class Bus : public std::enable_shared_from_this<Bus> {
  public:
    static std::shared_ptr<Bus> Make(Clock clock = Clock::kManual);

    // The platform object to install in the layer; it shares this bus.
    std::unique_ptr<IowKit2Platform> MakePlatform();

    // Adds the device's interfaces at the end of the interface list, each
    // with its own node under a node of its own under the device's node.
    std::shared_ptr<Device> Plug(const DeviceDescription& description);

    // Failures of the platform itself.
    void FailLoad(uint32_t code);  // Load returns code (0: loads again)
    void FailHeapCreate(uint32_t code);
    void FailDeviceSet(bool fail);    // no interface list
    void FailAllocations(bool fail);  // heap blocks cannot be had
    void FailSignals(bool fail);      // CreateSignal gives none

    // Manual clock: every timed wait in progress ends as timed out. Returns
    // how many there were.
    size_t ExpireWaits();
    // Waits until condition() holds, looking again whenever the bus changes;
    // the limit only guards against a hang.
    bool Await(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

    bool IsLoaded() const;
    HeapStats Heap() const;
    bool HasDeviceChangeListener() const;

    explicit Bus(Clock clock);

  private:
    friend class Interface;
    friend class Device;
    class Platform;
    class Probe;
    class ReadPort;
    class WritePort;
    class Signal;

    void Unplug(const std::vector<std::shared_ptr<Interface>>& interfaces);
    std::shared_ptr<Device> PlugAgain(const Device& gone);
    void TellDeviceChange();
    void Notify();                                                          // bus mutex held
    std::shared_ptr<Interface> FindPresent(const std::string& path) const;  // mutex held
    // Waits (bus mutex held) until ready() holds or the time passes; true
    // when ready() held.
    bool WaitUntil(std::unique_lock<std::mutex>& lock, uint32_t milliseconds,
                   const std::function<bool()>& ready, bool poll);

    // Platform operations.
    uint32_t Load();
    void Unload();
    bool VisitHidInterfaces(const std::function<void(const IowKit2InterfaceEntry&)>& visit);
    // Only while a listing runs, as in Wine, where nodes belong to the set.
    std::optional<uint32_t> GetParent(uint32_t node) const;
    void SetDeviceChangeListener(std::function<void()> changed);
    uint32_t CreateHeap();
    void DestroyHeap();
    void* HeapAllocate(size_t bytes);
    void HeapRelease(void* block);

    const Clock clock_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    uint64_t changeCount_ = 0;
    uint64_t epoch_ = 0;  // manual clock: bumped by ExpireWaits
    size_t timedWaiters_ = 0;
    uint32_t nextNode_ = 0x100;
    uint32_t nextPath_ = 0;
    std::vector<std::shared_ptr<Interface>> present_;
    std::map<uint32_t, uint32_t> parents_;
    bool loaded_ = false;
    uint32_t failLoad_ = 0;
    uint32_t failHeapCreate_ = 0;
    bool failDeviceSet_ = false;
    int listingsRunning_ = 0;
    bool failSignals_ = false;

    mutable std::mutex heapMutex_;
    bool heapExists_ = false;
    bool failAllocations_ = false;
    std::unordered_set<void*> blocks_;
    HeapStats heapStats_;

    mutable std::mutex listenerMutex_;
    std::function<void()> listener_;
};

}  // namespace hidsim
