// A portable owner-thread carrier with the ordering and blocking rules of a
// window's message queue: device changes are posted and run when the owner
// thread next dispatches; a reader's hand-over is "sent": it blocks the
// reader until the owner thread has served it, and pending hand-overs are
// served before posted device changes, in the order they arrived.
//
// The owner thread is the one that created the carrier; it dispatches by
// calling RunPending or RunUntil.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "hid/carrier.h"

class IowKit2OwnerLoop : public std::enable_shared_from_this<IowKit2OwnerLoop> {
  public:
    // What the loop runs on the owner thread; by default the layer's own.
    struct Handlers {
        std::function<int(unsigned pipe, IowKit2Handle device)> serveReport = IowKit2ServeReport;
        std::function<void()> devicesChanged = IowKit2DevicesChanged;
    };

    static std::shared_ptr<IowKit2OwnerLoop> Make();
    static std::shared_ptr<IowKit2OwnerLoop> Make(Handlers handlers);

    // The carrier to install in the layer; it shares this loop.
    std::unique_ptr<IowKit2Carrier> MakeCarrier();

    // Owner thread: serves the hand-overs pending now, then runs the device
    // changes posted so far, one task at a time; after each device change it
    // serves the hand-overs that arrived during it. Other work that arrives
    // meanwhile waits for the next call. Returns the number of tasks run.
    // Safe to call from inside a task (a nested dispatch, as a message box
    // would do).
    size_t RunPending();
    // Owner thread: dispatches until done() holds (checked after each round)
    // or the limit passes; the limit only guards against a hang.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(10));

    // The next Create fails with code (0: succeeds again).
    void FailNextCreate(uint32_t code);

    size_t PendingDeviceChanges() const;
    size_t PendingHandOvers() const;
    bool IsCreated() const;

    // Carrier operations (see IowKit2Carrier).
    uint32_t Create();
    void Destroy();
    void PostDeviceChange();
    int HandOverReport(unsigned pipe, IowKit2Handle device);
    std::unique_ptr<IowKit2Signal> CreateSignal();
    void WaitServingHandOvers(IowKit2Signal& signal);

    explicit IowKit2OwnerLoop(Handlers handlers);

  private:
    struct HandOver {
        unsigned pipe;
        IowKit2Handle device;
        bool done = false;
        int answer = 0;
    };
    class Signal;

    // Serves the oldest hand-over; lock is held on entry and exit.
    void ServeOne(std::unique_lock<std::mutex>& lock);
    bool OnOwnerThread() const;

    Handlers handlers_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<HandOver*> handOvers_;
    size_t deviceChanges_ = 0;
    bool created_ = false;
    uint32_t failCreate_ = 0;
    std::thread::id owner_;
};
