// Virtual switches of hid/sim put on the virtual switch bus driver: whatever
// a switch's simulated device does (plugged, unplugged, input reports) the
// driver shows through Wine's HID stack, and every report the program writes
// goes to the switch through its simulated interface, failing where that
// interface fails writes. One switch logic serves both paths.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hid/platform.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/virtual_switch.h"
#include "hid/win32/unique_handles.h"
#include "tests/hidbus/bus_link_win32.h"

class SwitchMirror {
  public:
    using Print = std::function<void(const std::string&)>;

    // print gets every wire-log line; it may be called from any thread, one
    // call at a time.
    SwitchMirror(BusLink& link, Print print);
    ~SwitchMirror();  // takes every switch off the driver
    SwitchMirror(const SwitchMirror&) = delete;
    SwitchMirror& operator=(const SwitchMirror&) = delete;

    // Switch number id (1 and up), not plugged yet. Its wire-log lines carry
    // "#id " in front, but for switch 1.
    std::shared_ptr<hidsim::VirtualSwitch> Add(uint32_t id, const hidsim::SwitchOptions& options);
    // Waits until the driver shows every switch as its simulated device is
    // now (plugged or not).
    void Settle();

  private:
    class PipeForwarder;
    struct Mirrored;

    std::vector<std::pair<uint32_t, bool>> Reconcile();
    void RunReconciler();
    void ServeWrites();
    void Unmirror(Mirrored& mirrored);
    void MirrorDevice(Mirrored& mirrored, std::shared_ptr<hidsim::Device> device);

    BusLink& link_;
    const Print print_;
    const std::shared_ptr<hidsim::Bus> bus_;
    const std::unique_ptr<IowKit2Platform> platform_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<uint32_t, std::unique_ptr<Mirrored>> switches_;
    uint64_t changesSeen_ = 0;
    uint64_t changesMirrored_ = 0;
    bool stopping_ = false;

    iowkit2_win32::UniqueHandle stopWrites_;
    std::thread reconciler_;
    std::thread writeServer_;
};
