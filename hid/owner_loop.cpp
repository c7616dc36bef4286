#include "hid/owner_loop.h"

#include <utility>

// A signal the loop can wait on: raising it wakes the owner thread.
class IowKit2OwnerLoop::Signal final : public IowKit2Signal {
  public:
    explicit Signal(std::shared_ptr<IowKit2OwnerLoop> loop) : loop_(std::move(loop)) {}

    void Raise() override {
        std::lock_guard lock(loop_->mutex_);
        raised_ = true;
        loop_->changed_.notify_all();
    }
    bool IsRaised() const override {
        std::lock_guard lock(loop_->mutex_);
        return raised_;
    }

  private:
    friend class IowKit2OwnerLoop;
    std::shared_ptr<IowKit2OwnerLoop> loop_;
    bool raised_ = false;  // guarded by the loop's mutex
};

namespace {

class OwnerLoopCarrier final : public IowKit2Carrier {
  public:
    explicit OwnerLoopCarrier(std::shared_ptr<IowKit2OwnerLoop> loop) : loop_(std::move(loop)) {}

    uint32_t Create() override { return loop_->Create(); }
    void Destroy() override { loop_->Destroy(); }
    bool IsCreated() const override { return loop_->IsCreated(); }
    void PostDeviceChange() override { loop_->PostDeviceChange(); }
    int HandOverReport(unsigned pipe, IowKit2Handle device) override {
        return loop_->HandOverReport(pipe, device);
    }
    std::unique_ptr<IowKit2Signal> CreateSignal() override { return loop_->CreateSignal(); }
    void WaitServingHandOvers(IowKit2Signal& signal) override {
        loop_->WaitServingHandOvers(signal);
    }

  private:
    std::shared_ptr<IowKit2OwnerLoop> loop_;
};

}  // namespace

IowKit2OwnerLoop::IowKit2OwnerLoop(Handlers handlers) : handlers_(std::move(handlers)) {}

std::shared_ptr<IowKit2OwnerLoop> IowKit2OwnerLoop::Make() {
    return Make(Handlers{});
}

std::shared_ptr<IowKit2OwnerLoop> IowKit2OwnerLoop::Make(Handlers handlers) {
    return std::make_shared<IowKit2OwnerLoop>(std::move(handlers));
}

std::unique_ptr<IowKit2Carrier> IowKit2OwnerLoop::MakeCarrier() {
    return std::make_unique<OwnerLoopCarrier>(shared_from_this());
}

uint32_t IowKit2OwnerLoop::Create() {
    std::lock_guard lock(mutex_);
    if (failCreate_ != 0) {
        return std::exchange(failCreate_, 0);
    }
    created_ = true;
    owner_ = std::this_thread::get_id();
    return 0;
}

void IowKit2OwnerLoop::Destroy() {
    std::lock_guard lock(mutex_);
    created_ = false;
    // Like a destroyed window: posted work is discarded and senders still
    // waiting get 0.
    deviceChanges_ = 0;
    for (HandOver* handOver : handOvers_) {
        handOver->done = true;
        handOver->answer = 0;
    }
    handOvers_.clear();
    changed_.notify_all();
}

bool IowKit2OwnerLoop::IsCreated() const {
    std::lock_guard lock(mutex_);
    return created_;
}

void IowKit2OwnerLoop::FailNextCreate(uint32_t code) {
    std::lock_guard lock(mutex_);
    failCreate_ = code;
}

size_t IowKit2OwnerLoop::PendingDeviceChanges() const {
    std::lock_guard lock(mutex_);
    return deviceChanges_;
}

size_t IowKit2OwnerLoop::PendingHandOvers() const {
    std::lock_guard lock(mutex_);
    return handOvers_.size();
}

bool IowKit2OwnerLoop::OnOwnerThread() const {
    return created_ && owner_ == std::this_thread::get_id();
}

void IowKit2OwnerLoop::PostDeviceChange() {
    std::lock_guard lock(mutex_);
    if (!created_) {
        return;
    }
    ++deviceChanges_;
    changed_.notify_all();
}

int IowKit2OwnerLoop::HandOverReport(unsigned pipe, IowKit2Handle device) {
    std::unique_lock lock(mutex_);
    if (!created_) {
        return 0;
    }
    if (OnOwnerThread()) {
        // Sending to one's own window calls it directly.
        lock.unlock();
        return handlers_.serveReport(pipe, device);
    }
    HandOver handOver{pipe, device};
    handOvers_.push_back(&handOver);
    changed_.notify_all();
    changed_.wait(lock, [&] { return handOver.done; });
    return handOver.answer;
}

void IowKit2OwnerLoop::ServeOne(std::unique_lock<std::mutex>& lock) {
    HandOver* handOver = handOvers_.front();
    handOvers_.pop_front();
    lock.unlock();
    const int answer = handlers_.serveReport(handOver->pipe, handOver->device);
    lock.lock();
    handOver->answer = answer;
    handOver->done = true;
    changed_.notify_all();
}

size_t IowKit2OwnerLoop::RunPending() {
    std::unique_lock lock(mutex_);
    // One round: what is queued now. Work that arrives meanwhile waits for
    // the next round, so a busy reader cannot keep the owner here forever.
    size_t handOvers = handOvers_.size();
    size_t deviceChanges = deviceChanges_;
    size_t run = 0;
    while (handOvers > 0 && !handOvers_.empty()) {
        ServeOne(lock);
        --handOvers;
        ++run;
    }
    while (deviceChanges > 0 && deviceChanges_ > 0) {
        --deviceChanges_;
        --deviceChanges;
        lock.unlock();
        handlers_.devicesChanged();
        ++run;
        lock.lock();
        // Hand-overs that arrived during the refresh go first, as sent
        // messages do.
        for (size_t arrived = handOvers_.size(); arrived > 0 && !handOvers_.empty(); --arrived) {
            ServeOne(lock);
            ++run;
        }
    }
    return run;
}

bool IowKit2OwnerLoop::RunUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        RunPending();
        if (done()) {
            return true;
        }
        std::unique_lock lock(mutex_);
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // done() may depend on other threads, so look again now and then
        // even when no work arrives.
        changed_.wait_for(lock, std::chrono::milliseconds(1),
                          [&] { return !handOvers_.empty() || deviceChanges_ > 0; });
    }
}

std::unique_ptr<IowKit2Signal> IowKit2OwnerLoop::CreateSignal() {
    return std::make_unique<Signal>(shared_from_this());
}

void IowKit2OwnerLoop::WaitServingHandOvers(IowKit2Signal& signal) {
    auto* own = dynamic_cast<Signal*>(&signal);
    if (own != nullptr && own->loop_.get() != this) {
        own = nullptr;
    }
    std::unique_lock lock(mutex_);
    for (;;) {
        if (own != nullptr) {
            if (own->raised_) {
                return;
            }
        } else {
            lock.unlock();
            const bool raised = signal.IsRaised();
            lock.lock();
            if (raised) {
                return;
            }
        }
        if (!handOvers_.empty()) {
            ServeOne(lock);
            continue;
        }
        if (own != nullptr) {
            changed_.wait(lock);
        } else {
            // A foreign signal cannot wake this loop: look again shortly.
            changed_.wait_for(lock, std::chrono::milliseconds(1));
        }
    }
}
