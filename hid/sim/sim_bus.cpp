#include "hid/sim/sim_bus.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "hid/iowkit2.h"
#include "hid/sim/sim_port_state.h"

namespace hidsim {

Interface::Interface(Bus& bus, InterfaceDescription description, std::string path, uint32_t node)
    : bus_(bus), description_(std::move(description)), path_(std::move(path)), node_(node) {
    if (description_.outputHandler) {
        outputHandler_ = std::make_shared<std::function<void(const uint8_t*, size_t)>>(
            description_.outputHandler);
    }
}

void Interface::SendInputReport(const uint8_t* data, size_t size) {
    const size_t length = description_.caps ? description_.caps->inputReportLength : size;
    std::vector<uint8_t> report(length, 0);
    std::memcpy(report.data(), data, std::min(size, length));
    std::lock_guard lock(bus_.mutex_);
    if (!plugged_) {
        return;
    }
    for (ReadPortState* port : readPorts_) {
        port->buffered.push_back(report);
        if (port->buffered.size() > port->capacity) {
            port->buffered.pop_front();
            ++reads_.reportsDropped;
        }
    }
    bus_.Notify();
}

void Interface::StallReads(bool stalled) {
    std::lock_guard lock(bus_.mutex_);
    readsStalled_ = stalled;
    bus_.Notify();
}

void Interface::FailPendingReads() {
    std::lock_guard lock(bus_.mutex_);
    for (ReadPortState* port : readPorts_) {
        port->failNext = true;
    }
    bus_.Notify();
}

void Interface::FailWrites(bool fail) {
    std::lock_guard lock(bus_.mutex_);
    writesFail_ = fail;
}

void Interface::StallWrites(bool stall) {
    std::lock_guard lock(bus_.mutex_);
    writesStall_ = stall;
}

void Interface::ReleaseStalledWrites() {
    std::unique_lock lock(bus_.mutex_);
    std::deque<WriteOperation*> released;
    released.swap(stalledWrites_);
    for (WriteOperation* operation : released) {
        operation->stage = WriteOperation::Stage::kTaken;
    }
    auto handler = outputHandler_;
    lock.unlock();
    // Each writer waits for its operation to be done, so the data stays.
    if (handler) {
        for (WriteOperation* operation : released) {
            (*handler)(operation->data.data(), operation->data.size());
        }
    }
    lock.lock();
    for (WriteOperation* operation : released) {
        operation->stage = WriteOperation::Stage::kDone;
        operation->error = 0;
        operation->bytes = static_cast<uint32_t>(operation->data.size());
    }
    bus_.Notify();
}

void Interface::SetOutputHandler(std::function<void(const uint8_t*, size_t)> handler) {
    std::lock_guard lock(bus_.mutex_);
    outputHandler_ =
        handler ? std::make_shared<std::function<void(const uint8_t*, size_t)>>(std::move(handler))
                : nullptr;
}

ReadActivity Interface::Reads() const {
    std::lock_guard lock(bus_.mutex_);
    ReadActivity activity = reads_;
    activity.openPorts = readPorts_.size();
    for (const ReadPortState* port : readPorts_) {
        activity.waiting = activity.waiting || port->waiting;
        activity.readPending = activity.readPending || port->pending;
        activity.buffered += port->buffered.size();
    }
    return activity;
}

WriteActivity Interface::Writes() const {
    std::lock_guard lock(bus_.mutex_);
    WriteActivity activity = writes_;
    activity.openPorts = writePorts_;
    activity.stalled = stalledWrites_.size();
    return activity;
}

bool Interface::AwaitIdleReader(std::chrono::milliseconds limit) const {
    return bus_.Await(
        [this] {
            const ReadActivity activity = Reads();
            return activity.waiting && activity.readPending && activity.buffered == 0;
        },
        limit);
}

bool Interface::AwaitStalledWrite(std::chrono::milliseconds limit) const {
    return bus_.Await([this] { return Writes().stalled > 0; }, limit);
}

Device::Device(std::shared_ptr<Bus> bus, uint32_t node,
               std::vector<std::shared_ptr<Interface>> interfaces)
    : bus_(std::move(bus)), node_(node), interfaces_(std::move(interfaces)) {}

void Device::Unplug() {
    bus_->Unplug(interfaces_);
}

std::shared_ptr<Device> Device::PlugAgain() {
    return bus_->PlugAgain(*this);
}

bool Device::IsPlugged() const {
    std::lock_guard lock(bus_->mutex_);
    return std::any_of(interfaces_.begin(), interfaces_.end(),
                       [](const auto& interface) { return interface->plugged_; });
}

Bus::Bus(Clock clock) : clock_(clock) {}

std::shared_ptr<Bus> Bus::Make(Clock clock) {
    return std::make_shared<Bus>(clock);
}

std::shared_ptr<Device> Bus::Plug(const DeviceDescription& description) {
    std::vector<std::shared_ptr<Interface>> interfaces;
    uint32_t deviceNode = 0;
    {
        std::lock_guard lock(mutex_);
        deviceNode = nextNode_++;
        for (const InterfaceDescription& interfaceDescription : description.interfaces) {
            // The HID interface's node sits under the USB interface's node,
            // which sits under the device's node.
            const uint32_t usbInterfaceNode = nextNode_++;
            const uint32_t hidNode = nextNode_++;
            parents_[usbInterfaceNode] = deviceNode;
            parents_[hidNode] = usbInterfaceNode;
            auto interface = std::make_shared<Interface>(
                *this, interfaceDescription, "\\\\?\\hid#sim&" + std::to_string(nextPath_++),
                hidNode);
            present_.push_back(interface);
            interfaces.push_back(std::move(interface));
        }
        Notify();
    }
    TellDeviceChange();
    return std::make_shared<Device>(shared_from_this(), deviceNode, std::move(interfaces));
}

std::shared_ptr<Device> Bus::PlugAgain(const Device& gone) {
    std::vector<std::shared_ptr<Interface>> interfaces;
    {
        std::lock_guard lock(mutex_);
        for (const auto& old : gone.interfaces_) {
            if (FindPresent(old->path_)) {
                return nullptr;  // still (or already again) plugged
            }
        }
        // The nodes keep their parents: only the interfaces are new.
        for (const auto& old : gone.interfaces_) {
            auto interface =
                std::make_shared<Interface>(*this, old->description_, old->path_, old->node_);
            present_.push_back(interface);
            interfaces.push_back(std::move(interface));
        }
        Notify();
    }
    TellDeviceChange();
    return std::make_shared<Device>(shared_from_this(), gone.Node(), std::move(interfaces));
}

void Bus::Unplug(const std::vector<std::shared_ptr<Interface>>& interfaces) {
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        for (const auto& interface : interfaces) {
            if (!interface->plugged_) {
                continue;
            }
            changed = true;
            interface->plugged_ = false;
            // Writes in flight fail as the device goes; pending reads fail
            // when their reader next looks.
            for (WriteOperation* operation : interface->stalledWrites_) {
                operation->stage = WriteOperation::Stage::kDone;
                operation->error = kErrorDeviceNotConnected;
                operation->bytes = 0;
            }
            interface->stalledWrites_.clear();
            for (ReadPortState* port : interface->readPorts_) {
                port->buffered.clear();
            }
            std::erase(present_, interface);
        }
        Notify();
    }
    if (changed) {
        TellDeviceChange();
    }
}

void Bus::TellDeviceChange() {
    std::lock_guard lock(listenerMutex_);
    if (listener_) {
        listener_();
    }
}

void Bus::SetDeviceChangeListener(std::function<void()> changed) {
    std::lock_guard lock(listenerMutex_);
    listener_ = std::move(changed);
}

bool Bus::HasDeviceChangeListener() const {
    std::lock_guard lock(listenerMutex_);
    return static_cast<bool>(listener_);
}

void Bus::Notify() {
    ++changeCount_;
    changed_.notify_all();
}

std::shared_ptr<Interface> Bus::FindPresent(const std::string& path) const {
    for (const auto& interface : present_) {
        if (interface->path_ == path) {
            return interface;
        }
    }
    return nullptr;
}

bool Bus::WaitUntil(std::unique_lock<std::mutex>& lock, uint32_t milliseconds,
                    const std::function<bool()>& ready, bool poll) {
    // ready() may change state when it holds, so it is asked until it holds
    // and never again after.
    bool isReady = false;
    auto check = [&] {
        isReady = isReady || ready();
        return isReady;
    };
    const auto slice = std::chrono::milliseconds(1);
    if (milliseconds == kInfiniteWait) {
        while (!check()) {
            poll ? (void)changed_.wait_for(lock, slice) : changed_.wait(lock);
        }
        return true;
    }
    if (clock_ == Clock::kReal) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!check()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            changed_.wait_until(
                lock,
                poll ? std::min(deadline, std::chrono::steady_clock::now() + slice) : deadline);
        }
        return true;
    }
    const uint64_t epoch = epoch_;
    ++timedWaiters_;
    while (!check() && epoch_ == epoch) {
        poll ? (void)changed_.wait_for(lock, slice) : changed_.wait(lock);
    }
    --timedWaiters_;
    return isReady;
}

size_t Bus::ExpireWaits() {
    std::lock_guard lock(mutex_);
    ++epoch_;
    Notify();
    return timedWaiters_;
}

bool Bus::Await(const std::function<bool()>& condition, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        uint64_t seen = 0;
        {
            std::lock_guard lock(mutex_);
            seen = changeCount_;
        }
        if (condition()) {
            return true;
        }
        std::unique_lock lock(mutex_);
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        changed_.wait_for(lock, std::chrono::milliseconds(2), [&] { return changeCount_ != seen; });
    }
}

void Bus::FailLoad(uint32_t code) {
    std::lock_guard lock(mutex_);
    failLoad_ = code;
}

void Bus::FailHeapCreate(uint32_t code) {
    std::lock_guard lock(mutex_);
    failHeapCreate_ = code;
}

void Bus::FailDeviceSet(bool fail) {
    std::lock_guard lock(mutex_);
    failDeviceSet_ = fail;
}

void Bus::FailSignals(bool fail) {
    std::lock_guard lock(mutex_);
    failSignals_ = fail;
}

void Bus::FailAllocations(bool fail) {
    std::lock_guard lock(heapMutex_);
    failAllocations_ = fail;
}

uint32_t Bus::Load() {
    std::lock_guard lock(mutex_);
    if (failLoad_ != 0) {
        loaded_ = false;
        IowKit2SetLastError(failLoad_);
        return failLoad_;
    }
    loaded_ = true;
    return 0;
}

void Bus::Unload() {
    std::lock_guard lock(mutex_);
    loaded_ = false;
}

bool Bus::IsLoaded() const {
    std::lock_guard lock(mutex_);
    return loaded_;
}

bool Bus::VisitHidInterfaces(const std::function<void(const IowKit2InterfaceEntry&)>& visit) {
    std::vector<IowKit2InterfaceEntry> entries;
    {
        std::lock_guard lock(mutex_);
        if (failDeviceSet_) {
            return false;
        }
        for (const auto& interface : present_) {
            if (!interface->description_.detailFails) {
                entries.push_back({interface->path_, interface->node_});
            }
        }
        ++listingsRunning_;
    }
    // The visitor opens probes, which take the bus mutex.
    for (const IowKit2InterfaceEntry& entry : entries) {
        visit(entry);
    }
    std::lock_guard lock(mutex_);
    --listingsRunning_;
    return true;
}

std::optional<uint32_t> Bus::GetParent(uint32_t node) const {
    std::lock_guard lock(mutex_);
    if (listingsRunning_ == 0) {
        return std::nullopt;
    }
    const auto found = parents_.find(node);
    if (found == parents_.end()) {
        return std::nullopt;
    }
    return found->second;
}

uint32_t Bus::CreateHeap() {
    {
        std::lock_guard lock(mutex_);
        if (failHeapCreate_ != 0) {
            return failHeapCreate_;
        }
    }
    std::lock_guard lock(heapMutex_);
    heapExists_ = true;
    heapStats_.exists = true;
    return 0;
}

void Bus::DestroyHeap() {
    std::lock_guard lock(heapMutex_);
    for (void* block : blocks_) {
        std::free(block);
        ++heapStats_.releasedByDestroy;
    }
    blocks_.clear();
    heapExists_ = false;
    heapStats_.exists = false;
}

void* Bus::HeapAllocate(size_t bytes) {
    std::lock_guard lock(heapMutex_);
    if (!heapExists_ || failAllocations_) {
        return nullptr;
    }
    void* block = std::calloc(1, bytes == 0 ? 1 : bytes);
    if (block != nullptr) {
        blocks_.insert(block);
        ++heapStats_.allocations;
    }
    return block;
}

void Bus::HeapRelease(void* block) {
    std::lock_guard lock(heapMutex_);
    if (blocks_.erase(block) != 0) {
        std::free(block);
    }
}

HeapStats Bus::Heap() const {
    std::lock_guard lock(heapMutex_);
    HeapStats stats = heapStats_;
    stats.liveBlocks = blocks_.size();
    return stats;
}

}  // namespace hidsim
