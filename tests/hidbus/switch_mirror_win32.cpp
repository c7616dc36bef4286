#include "tests/hidbus/switch_mirror_win32.h"

#include <atomic>
#include <chrono>

#include "hid/sim/switch_console.h"

namespace {

constexpr unsigned kPipeCount = 2;
constexpr uint32_t kReportBufferSize = 64;
// A write the switch does not take within this is failed to the program.
constexpr uint32_t kSwitchWriteTimeoutMs = 1000;
// How long Plug and Play may take to bring a switch's interfaces up or down.
constexpr DWORD kInterfacesLimitMs = 10000;
constexpr auto kSecondBroadcastDelay = std::chrono::milliseconds(300);

}  // namespace

// Carries every input report of one simulated interface to the driver.
class SwitchMirror::PipeForwarder {
  public:
    PipeForwarder(BusLink& link, uint32_t switchId, unsigned pipe,
                  std::unique_ptr<IowKit2ReadPort> port, std::unique_ptr<IowKit2Signal> stop)
        : port_(std::move(port)), stop_(std::move(stop)) {
        thread_ = std::thread([this, &link, switchId, pipe] { Run(link, switchId, pipe); });
    }
    ~PipeForwarder() {
        stop_->Raise();
        thread_.join();
    }

  private:
    void Run(BusLink& link, uint32_t switchId, unsigned pipe) {
        uint8_t report[kReportBufferSize];
        for (;;) {
            port_->BeginRead(report, sizeof report);
            // A read on a device that went never completes: the wait then
            // ends only with the stop.
            const IowKit2WaitResult result =
                port_->WaitForReadOrStop(*stop_, hidsim::kInfiniteWait);
            if (result == IowKit2WaitResult::kStopped) {
                port_->CancelPendingRead();
                return;
            }
            uint32_t size = 0;
            if (result == IowKit2WaitResult::kCompletion && port_->GetReadResult(size) &&
                size > 0) {
                link.Input(switchId, pipe, report, size);
            }
        }
    }

    std::unique_ptr<IowKit2ReadPort> port_;
    std::unique_ptr<IowKit2Signal> stop_;
    std::thread thread_;
};

struct SwitchMirror::Mirrored {
    uint32_t id = 0;
    hidsim::SwitchOptions options;
    std::shared_ptr<hidsim::VirtualSwitch> device;
    // The simulated device the driver shows now, and its ports.
    std::shared_ptr<hidsim::Device> shown;
    std::unique_ptr<IowKit2WritePort> writePorts[kPipeCount];
    std::unique_ptr<PipeForwarder> forwarders[kPipeCount];
};

SwitchMirror::SwitchMirror(BusLink& link, Print print)
    : link_(link),
      print_(std::move(print)),
      bus_(hidsim::Bus::Make(hidsim::Clock::kReal)),
      platform_(bus_->MakePlatform()),
      stopWrites_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    platform_->Load();
    platform_->SetDeviceChangeListener([this] {
        {
            std::lock_guard lock(mutex_);
            ++changesSeen_;
        }
        changed_.notify_all();
    });
    reconciler_ = std::thread([this] { RunReconciler(); });
    writeServer_ = std::thread([this] { ServeWrites(); });
}

SwitchMirror::~SwitchMirror() {
    SetEvent(stopWrites_.get());
    writeServer_.join();
    platform_->SetDeviceChangeListener(nullptr);
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    reconciler_.join();
    std::lock_guard lock(mutex_);
    for (auto& [id, mirrored] : switches_) {
        Unmirror(*mirrored);
    }
}

std::shared_ptr<hidsim::VirtualSwitch> SwitchMirror::Add(uint32_t id,
                                                         const hidsim::SwitchOptions& options) {
    // A switch an earlier run left on the bus (its process ended without
    // unplugging, or is still going) goes first.
    link_.Unplug(id);
    BusLink::AwaitHidInterfaces(id, false, kInterfacesLimitMs);
    auto mirrored = std::make_unique<Mirrored>();
    mirrored->id = id;
    mirrored->options = options;
    mirrored->device = hidsim::VirtualSwitch::Make(bus_, options);
    const std::string prefix = id == 1 ? "" : "#" + std::to_string(id) + " ";
    mirrored->device->SetTrafficListener(
        [this, prefix](hidsim::Direction direction, const uint8_t* report, size_t size) {
            print_(prefix + hidsim::WireLogLine(direction, report, size));
        });
    std::shared_ptr<hidsim::VirtualSwitch> device = mirrored->device;
    std::lock_guard lock(mutex_);
    switches_[id] = std::move(mirrored);
    return device;
}

void SwitchMirror::Settle() {
    // One pass of its own: the simulated bus tells a plug before the switch
    // holds its new device, so a pass the plug woke may not have seen it.
    std::unique_lock lock(mutex_);
    const uint64_t target = ++changesSeen_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return changesMirrored_ >= target || stopping_; });
}

void SwitchMirror::RunReconciler() {
    // Windows tells every device node's change: the switch's, its two
    // interfaces' and their HID collections'. Telling once more a moment
    // after a move catches a program that looked while Wine still started the
    // second collection.
    bool tellAgain = false;
    std::chrono::steady_clock::time_point tellAgainAt;
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto pending = [&] { return stopping_ || changesMirrored_ < changesSeen_; };
        if (!tellAgain) {
            changed_.wait(lock, pending);
        } else if (!changed_.wait_until(lock, tellAgainAt, pending)) {
            tellAgain = false;
            BusLink::BroadcastDevicesChanged();
            continue;
        }
        if (stopping_) {
            return;
        }
        const uint64_t seen = changesSeen_;
        const std::vector<std::pair<uint32_t, bool>> moved = Reconcile();
        if (!moved.empty()) {
            // Done once the program can see it (gone ones were awaited as
            // they went), and told as Windows tells it.
            lock.unlock();
            for (const auto& [id, plugged] : moved) {
                if (plugged && !BusLink::AwaitHidInterfaces(id, true, kInterfacesLimitMs)) {
                    print_("error: switch " + std::to_string(id) +
                           "'s HID interfaces did not appear");
                }
            }
            BusLink::BroadcastDevicesChanged();
            tellAgain = true;
            tellAgainAt = std::chrono::steady_clock::now() + kSecondBroadcastDelay;
            lock.lock();
        }
        changesMirrored_ = seen;
        changed_.notify_all();
    }
}

// Mutex held. Returns the switches plugged (true) or unplugged (false).
std::vector<std::pair<uint32_t, bool>> SwitchMirror::Reconcile() {
    std::vector<std::pair<uint32_t, bool>> moved;
    for (auto& [id, mirrored] : switches_) {
        std::shared_ptr<hidsim::Device> current = mirrored->device->CurrentDevice();
        if (current && !current->IsPlugged()) {
            current.reset();
        }
        if (current == mirrored->shown) {
            continue;
        }
        if (mirrored->shown) {
            Unmirror(*mirrored);
            moved.emplace_back(id, false);
        }
        if (current) {
            MirrorDevice(*mirrored, std::move(current));
            moved.emplace_back(id, true);
        }
    }
    return moved;
}

// Mutex held. The driver lets go first: its pending reads and writes fail
// as a cable's pull makes them fail.
void SwitchMirror::Unmirror(Mirrored& mirrored) {
    if (!mirrored.shown) {
        return;
    }
    link_.Unplug(mirrored.id);
    if (!BusLink::AwaitHidInterfaces(mirrored.id, false, kInterfacesLimitMs)) {
        print_("error: switch " + std::to_string(mirrored.id) + "'s HID interfaces did not go");
    }
    for (unsigned pipe = 0; pipe < kPipeCount; ++pipe) {
        mirrored.forwarders[pipe].reset();
        mirrored.writePorts[pipe].reset();
    }
    mirrored.shown.reset();
}

// Mutex held.
void SwitchMirror::MirrorDevice(Mirrored& mirrored, std::shared_ptr<hidsim::Device> device) {
    for (unsigned pipe = 0; pipe < kPipeCount; ++pipe) {
        const std::string& path = device->GetInterface(pipe).Path();
        mirrored.writePorts[pipe] = platform_->OpenWritePort(path);
        auto readPort = platform_->OpenReadPort(path);
        auto stop = platform_->CreateSignal();
        if (readPort && stop) {
            mirrored.forwarders[pipe] = std::make_unique<PipeForwarder>(
                link_, mirrored.id, pipe, std::move(readPort), std::move(stop));
        }
    }
    mirrored.shown = std::move(device);
    if (!link_.Plug(mirrored.id, mirrored.options.productId, mirrored.options.revision,
                    mirrored.options.serialNumber)) {
        print_("error: the bus driver did not take switch " + std::to_string(mirrored.id));
    }
}

void SwitchMirror::ServeWrites() {
    while (auto write = link_.NextWrite(stopWrites_.get())) {
        bool succeeded = false;
        {
            std::lock_guard lock(mutex_);
            auto found = switches_.find(write->switchId);
            if (found != switches_.end() && write->pipe < kPipeCount) {
                if (IowKit2WritePort* port = found->second->writePorts[write->pipe].get()) {
                    succeeded = port->Write(write->data, write->length, kSwitchWriteTimeoutMs) == 0;
                }
            }
        }
        link_.CompleteWrite(write->writeTag, succeeded);
    }
}
