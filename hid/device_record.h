// The layer's device records and the lists that hold them. Records, device
// paths and queue blocks live on the platform's private heap.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "hid/iowkit2.h"
#include "hid/platform.h"

// State marks of a record.
inline constexpr uint32_t kIowKit2LiveMark = 0x494F5761;  // 'IOWa'
inline constexpr uint32_t kIowKit2ClosedMark = 0xF00FBEEF;

inline constexpr uint32_t kIowKit2InfiniteTimeout = 0xFFFFFFFF;
inline constexpr unsigned kIowKit2QueueSlots = 128;
// Input reports the platform is asked to buffer per read handle.
inline constexpr uint32_t kIowKit2PlatformInputBuffers = 128;
// UTF-16 code units of the serial number field.
inline constexpr unsigned kIowKit2SerialUnits = 9;

// Releases a block to the layer's private heap.
struct IowKit2HeapDeleter {
    void operator()(void* block) const;
};
using IowKit2HeapText = std::unique_ptr<char[], IowKit2HeapDeleter>;
using IowKit2ReportBlock = std::unique_ptr<uint8_t[], IowKit2HeapDeleter>;

// Copies text to the private heap; nullptr when the heap has no room.
IowKit2HeapText IowKit2CopyToHeap(const std::string& text);

// One HID interface of a device.
struct IowKit2Pipe {
    uint32_t interfaceNode = 0;

    // I/O state.
    std::thread readerThread;
    std::unique_ptr<IowKit2Signal> stopSignal;     // made by the platform
    std::unique_ptr<IowKit2Signal> stoppedSignal;  // made by the carrier
    std::mutex queueLock;
    std::mutex callbackLock;
    IowKit2ReadCallback readCallback = nullptr;  // guarded by callbackLock
    void* callbackContext = nullptr;             // guarded by callbackLock
    std::array<uint8_t, kIowKit2ReportSize> lastReport{};
    std::array<IowKit2ReportBlock, kIowKit2QueueSlots> queue;  // guarded by queueLock
    uint32_t queueHead = 0;
    uint32_t queueTail = 0;
    uint32_t queueCount = 0;
    std::unique_ptr<IowKit2ReadPort> readPort;
    std::unique_ptr<IowKit2WritePort> writePort;
    // Raised before the reader is told to stop: its hand-overs are then
    // answered with 0 and the report stays in the queue.
    std::atomic<bool> stopping{false};

    IowKit2HidCaps hidCaps;
    IowKit2HidAttributes hidAttr;
    IowKit2HeapText devicePath;
};

struct IowKit2DeviceDeleter {
    void operator()(IowKit2Device* device) const;
};
using IowKit2DevicePtr = std::unique_ptr<IowKit2Device, IowKit2DeviceDeleter>;

struct IowKit2Device {
    uint32_t stateMark = 0;
    std::atomic<int> claimed{0};  // read by the reader threads
    uint32_t writeTimeout = 0;
    int interfaceCount = 0;
    uint32_t deviceKey = 0;
    char16_t serialNumber[kIowKit2SerialUnits] = {};
    IowKit2Pipe pipes[kIowKit2PipeCount];
    IowKit2DevicePtr next;
};

// A zeroed record on the private heap; nullptr when there is no room.
IowKit2DevicePtr IowKit2NewDevice();

// A singly linked list of records; new records go to the head.
class IowKit2DeviceList {
  public:
    IowKit2Device* Head() const { return head_.get(); }
    bool IsEmpty() const { return !head_; }
    IowKit2Device* PushFront(IowKit2DevicePtr device);
    IowKit2DevicePtr PopFront();
    // Takes the record out of the list; nullptr when it is not there.
    IowKit2DevicePtr Unlink(IowKit2Device* device);
    bool Contains(const IowKit2Device* device) const;

  private:
    IowKit2DevicePtr head_;
};

// The record that is the handle itself, searched in the open list, then the
// found list; nullptr for any other handle, and for every handle once a
// shutdown was asked for.
IowKit2Device* IowKit2FindDevice(IowKit2Handle handle);
// A found record with a state mark of either kind: the property queries and
// the claim work on it.
IowKit2Device* IowKit2FindKnownDevice(IowKit2Handle handle);
// Stops both readers (full: releasing their queues too), closes the handles,
// releases the paths and marks the record closed. Harmless twice.
void IowKit2CloseDevice(IowKit2Device& device, bool full);
// Unlinks the record from list (if there), closes it fully and releases it.
void IowKit2FreeDevice(IowKit2DeviceList& list, IowKit2Device* device);
// Releases every record of the list.
void IowKit2FreeAll(IowKit2DeviceList& list);
