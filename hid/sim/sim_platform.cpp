// The bus seen through the layer's platform seam: probes, overlapped read
// and write handles, signals and the private heap.
#include <algorithm>
#include <cstring>

#include "hid/iowkit2.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/sim_port_state.h"

namespace hidsim {

class Bus::Signal final : public IowKit2Signal {
  public:
    explicit Signal(std::shared_ptr<Bus> bus) : bus_(std::move(bus)) {}

    void Raise() override {
        std::lock_guard lock(bus_->mutex_);
        raised_ = true;
        bus_->Notify();
    }
    bool IsRaised() const override {
        std::lock_guard lock(bus_->mutex_);
        return raised_;
    }
    // Bus mutex held.
    bool RaisedLocked() const { return raised_; }
    const Bus* Owner() const { return bus_.get(); }

  private:
    std::shared_ptr<Bus> bus_;
    bool raised_ = false;
};

class Bus::Probe final : public IowKit2Probe {
  public:
    Probe(std::shared_ptr<Bus> bus, std::shared_ptr<Interface> interface)
        : bus_(std::move(bus)), interface_(std::move(interface)) {}

    std::optional<IowKit2HidAttributes> GetAttributes() override {
        std::lock_guard lock(bus_->mutex_);
        if (!interface_->plugged_ || interface_->description_.attributesFail) {
            return std::nullopt;
        }
        return interface_->description_.attributes;
    }

    std::optional<IowKit2HidCaps> GetCaps() override {
        std::lock_guard lock(bus_->mutex_);
        if (!interface_->plugged_) {
            return std::nullopt;
        }
        return interface_->description_.caps;
    }

    bool GetSerialNumberString(void* buffer, uint32_t byteLength) override {
        std::lock_guard lock(bus_->mutex_);
        if (!interface_->plugged_ || !interface_->description_.serialNumber) {
            return false;
        }
        return CopyString(*interface_->description_.serialNumber, buffer, byteLength);
    }

    bool GetIndexedString(uint32_t index, void* buffer, uint32_t byteLength) override {
        std::lock_guard lock(bus_->mutex_);
        const auto& strings = interface_->description_.indexedStrings;
        const auto found = strings.find(index);
        if (!interface_->plugged_ || found == strings.end()) {
            return false;
        }
        return CopyString(found->second, buffer, byteLength);
    }

  private:
    // The string and its terminator, cut to the buffer as the platform does.
    static bool CopyString(const std::u16string& text, void* buffer, uint32_t byteLength) {
        const size_t bytes = (text.size() + 1) * sizeof(char16_t);
        std::memset(buffer, 0, byteLength);
        std::memcpy(buffer, text.c_str(), std::min<size_t>(bytes, byteLength));
        return true;
    }

    std::shared_ptr<Bus> bus_;
    std::shared_ptr<Interface> interface_;
};

class Bus::ReadPort final : public IowKit2ReadPort {
  public:
    ReadPort(std::shared_ptr<Bus> bus, std::shared_ptr<Interface> interface)
        : bus_(std::move(bus)), interface_(std::move(interface)) {
        interface_->readPorts_.push_back(&state_);  // bus mutex held by the opener
    }

    ~ReadPort() override {
        std::lock_guard lock(bus_->mutex_);
        std::erase(interface_->readPorts_, &state_);
        bus_->Notify();
    }

    bool SetNumInputBuffers(uint32_t count) override {
        std::lock_guard lock(bus_->mutex_);
        if (count < kMinInputBuffers || count > kMaxInputBuffers) {
            return false;
        }
        state_.capacity = count;
        while (state_.buffered.size() > count) {
            state_.buffered.pop_front();
            ++interface_->reads_.reportsDropped;
        }
        return true;
    }

    void BeginRead(uint8_t* buffer, uint32_t length) override {
        std::lock_guard lock(bus_->mutex_);
        ++interface_->reads_.readsBegun;
        state_.completedOk = false;
        state_.completedSize = 0;
        // A read on a device that is gone cannot even start: no completion
        // will ever come for it.
        state_.pending = interface_->plugged_;
        state_.buffer = buffer;
        state_.length = length;
        bus_->Notify();
    }

    IowKit2WaitResult WaitForReadOrStop(IowKit2Signal& stop, uint32_t milliseconds) override {
        auto* own = dynamic_cast<Signal*>(&stop);
        const bool foreign = own == nullptr || own->Owner() != bus_.get();
        std::unique_lock lock(bus_->mutex_);
        ++interface_->reads_.waitsEntered;
        interface_->reads_.lastWaitLimitMs = milliseconds;
        state_.waiting = true;
        bus_->Notify();
        IowKit2WaitResult result = IowKit2WaitResult::kTimeout;
        const bool ended = bus_->WaitUntil(
            lock, milliseconds,
            [&] {
                if (foreign ? stop.IsRaised() : own->RaisedLocked()) {
                    result = IowKit2WaitResult::kStopped;
                    return true;
                }
                if (TryComplete()) {
                    result = IowKit2WaitResult::kCompletion;
                    return true;
                }
                return false;
            },
            foreign);
        state_.waiting = false;
        bus_->Notify();
        return ended ? result : IowKit2WaitResult::kTimeout;
    }

    bool GetReadResult(uint32_t& size) override {
        std::lock_guard lock(bus_->mutex_);
        size = state_.completedSize;
        return state_.completedOk;
    }

    void CancelPendingRead() override {
        std::lock_guard lock(bus_->mutex_);
        if (state_.pending) {
            state_.pending = false;
            state_.buffer = nullptr;
            ++interface_->reads_.readsCancelled;
            bus_->Notify();
        }
    }

  private:
    // Completes the pending read when the device allows it; bus mutex held.
    // The report is copied on the reading thread, inside its own wait.
    bool TryComplete() {
        if (!state_.pending) {
            return false;
        }
        if (state_.failNext || !interface_->plugged_) {
            state_.failNext = false;
            state_.pending = false;
            state_.completedOk = false;
            state_.completedSize = 0;
            return true;
        }
        if (interface_->readsStalled_ || state_.buffered.empty()) {
            return false;
        }
        const std::vector<uint8_t>& report = state_.buffered.front();
        const size_t size = std::min<size_t>(report.size(), state_.length);
        std::memcpy(state_.buffer, report.data(), size);
        state_.buffered.pop_front();
        state_.pending = false;
        state_.buffer = nullptr;
        state_.completedOk = true;
        state_.completedSize = static_cast<uint32_t>(size);
        ++interface_->reads_.reportsDelivered;
        return true;
    }

    std::shared_ptr<Bus> bus_;
    std::shared_ptr<Interface> interface_;
    ReadPortState state_;
};

class Bus::WritePort final : public IowKit2WritePort {
  public:
    WritePort(std::shared_ptr<Bus> bus, std::shared_ptr<Interface> interface)
        : bus_(std::move(bus)), interface_(std::move(interface)) {
        ++interface_->writePorts_;  // bus mutex held by the opener
    }

    ~WritePort() override {
        std::lock_guard lock(bus_->mutex_);
        --interface_->writePorts_;
    }

    uint32_t Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) override {
        std::unique_lock lock(bus_->mutex_);
        WriteActivity& activity = interface_->writes_;
        ++activity.writesBegun;
        if (!interface_->plugged_) {
            ++activity.writesFailed;
            return kErrorDeviceNotConnected;
        }
        const auto& caps = interface_->description_.caps;
        if (!caps || length != caps->outputReportLength) {
            ++activity.writesFailed;
            return kErrorInvalidUserBuffer;
        }
        WriteOperation operation;
        operation.data.assign(data, data + length);
        using Stage = WriteOperation::Stage;
        if (interface_->writesFail_) {
            operation.stage = Stage::kDone;
            operation.error = kErrorGenFailure;
        } else if (interface_->writesStall_) {
            interface_->stalledWrites_.push_back(&operation);
            bus_->Notify();
        } else {
            operation.stage = Stage::kTaken;
            auto handler = interface_->outputHandler_;
            lock.unlock();
            if (handler) {
                (*handler)(operation.data.data(), operation.data.size());
            }
            lock.lock();
            operation.stage = Stage::kDone;
            operation.bytes = length;
        }
        const bool done = bus_->WaitUntil(
            lock, timeoutMs, [&] { return operation.stage == Stage::kDone; }, false);
        if (!done) {
            // Cancel, then reap: once this returns nothing refers to the
            // operation any more.
            std::erase(interface_->stalledWrites_, &operation);
            bus_->changed_.wait(lock, [&] { return operation.stage != Stage::kTaken; });
            ++activity.writesCancelled;
            bus_->Notify();
            return kIowKit2ErrorTimeout;
        }
        if (operation.error == 0 && operation.bytes > 0) {
            ++activity.writesSucceeded;
            return 0;
        }
        ++activity.writesFailed;
        return kIowKit2ErrorTimeout;
    }

    bool DeviceGone() override {
        std::lock_guard lock(bus_->mutex_);
        return !interface_->plugged_;
    }

  private:
    std::shared_ptr<Bus> bus_;
    std::shared_ptr<Interface> interface_;
};

class Bus::Platform final : public IowKit2Platform {
  public:
    explicit Platform(std::shared_ptr<Bus> bus) : bus_(std::move(bus)) {}

    uint32_t Load() override { return bus_->Load(); }
    void Unload() override { bus_->Unload(); }
    bool VisitHidInterfaces(
        const std::function<void(const IowKit2InterfaceEntry&)>& visit) override {
        return bus_->VisitHidInterfaces(visit);
    }
    std::optional<uint32_t> GetParent(uint32_t node) override { return bus_->GetParent(node); }

    std::unique_ptr<IowKit2Probe> OpenProbe(const std::string& devicePath) override {
        std::lock_guard lock(bus_->mutex_);
        auto interface = bus_->FindPresent(devicePath);
        if (!interface || interface->description_.probeFails) {
            return nullptr;
        }
        return std::make_unique<Probe>(bus_, std::move(interface));
    }

    std::unique_ptr<IowKit2ReadPort> OpenReadPort(const std::string& devicePath) override {
        std::lock_guard lock(bus_->mutex_);
        auto interface = bus_->FindPresent(devicePath);
        if (!interface || interface->description_.pipeOpenFails) {
            return nullptr;
        }
        return std::make_unique<ReadPort>(bus_, std::move(interface));
    }

    std::unique_ptr<IowKit2WritePort> OpenWritePort(const std::string& devicePath) override {
        std::lock_guard lock(bus_->mutex_);
        auto interface = bus_->FindPresent(devicePath);
        if (!interface || interface->description_.pipeOpenFails) {
            return nullptr;
        }
        return std::make_unique<WritePort>(bus_, std::move(interface));
    }

    std::unique_ptr<IowKit2Signal> CreateSignal() override {
        {
            std::lock_guard lock(bus_->mutex_);
            if (bus_->failSignals_) {
                return nullptr;
            }
        }
        return std::make_unique<Signal>(bus_);
    }

    void SetDeviceChangeListener(std::function<void()> changed) override {
        bus_->SetDeviceChangeListener(std::move(changed));
    }

    uint32_t CreateHeap(size_t) override { return bus_->CreateHeap(); }
    void DestroyHeap() override { bus_->DestroyHeap(); }
    void* HeapAllocate(size_t bytes) override { return bus_->HeapAllocate(bytes); }
    void HeapRelease(void* block) override { bus_->HeapRelease(block); }

  private:
    std::shared_ptr<Bus> bus_;
};

std::unique_ptr<IowKit2Platform> Bus::MakePlatform() {
    return std::make_unique<Platform>(shared_from_this());
}

}  // namespace hidsim
