// The real engine with the virtual switch on the simulated bus, carried to
// the owner thread by the hidden window. Device changes reach the window
// only as the platform's broadcast would: WM_DEVICECHANGE messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "hid/iowkit2.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/virtual_switch.h"
#include "hid/win32/install.h"

namespace {

// The simulated bus without its own change notice, and counting scans.
class BroadcastOnlyPlatform final : public IowKit2Platform {
  public:
    BroadcastOnlyPlatform(std::unique_ptr<IowKit2Platform> bus, std::atomic<int>& scans)
        : bus_(std::move(bus)), scans_(scans) {}

    uint32_t Load() override { return bus_->Load(); }
    void Unload() override { bus_->Unload(); }
    bool VisitHidInterfaces(
        const std::function<void(const IowKit2InterfaceEntry&)>& visit) override {
        ++scans_;
        return bus_->VisitHidInterfaces(visit);
    }
    std::optional<uint32_t> GetParent(uint32_t node) override { return bus_->GetParent(node); }
    std::unique_ptr<IowKit2Probe> OpenProbe(const std::string& path) override {
        return bus_->OpenProbe(path);
    }
    std::unique_ptr<IowKit2ReadPort> OpenReadPort(const std::string& path) override {
        return bus_->OpenReadPort(path);
    }
    std::unique_ptr<IowKit2WritePort> OpenWritePort(const std::string& path) override {
        return bus_->OpenWritePort(path);
    }
    std::unique_ptr<IowKit2Signal> CreateSignal() override { return bus_->CreateSignal(); }
    uint32_t CreateHeap(size_t initialBytes) override { return bus_->CreateHeap(initialBytes); }
    void DestroyHeap() override { bus_->DestroyHeap(); }
    void* HeapAllocate(size_t bytes) override { return bus_->HeapAllocate(bytes); }
    void HeapRelease(void* block) override { bus_->HeapRelease(block); }

  private:
    std::unique_ptr<IowKit2Platform> bus_;
    std::atomic<int>& scans_;
};

struct Event {
    int event;
    IowKit2Handle device;
    DWORD thread;
};

struct Received {
    std::vector<uint8_t> report;
    unsigned pipe;
    unsigned length;
    DWORD thread;
};

class Integration : public ::testing::Test {
  protected:
    void SetUp() override {
        bus_ = hidsim::Bus::Make(hidsim::Clock::kManual);
        switch_ = hidsim::VirtualSwitch::Make(bus_);
        switch_->Plug();
        IowKit2InstallPlatform(
            std::make_unique<BroadcastOnlyPlatform>(bus_->MakePlatform(), scans_));
        IowKit2InstallWindowCarrier();
    }
    void TearDown() override { IowKit2Shutdown(); }

    static void OnDeviceEvent(int event, IowKit2Handle device, void* context) {
        auto* self = static_cast<Integration*>(context);
        self->events_.push_back({event, device, GetCurrentThreadId()});
        if (event == kIowKit2Arrival) {
            IowKit2SetClaimed(device, 1);
            IowKit2SetReadCallback(device, 0, OnReport, self);
            IowKit2SetReadCallback(device, 1, OnReport, self);
        }
        if (event == kIowKit2Removal) {
            IowKit2SetClaimed(device, 0);
        }
    }

    static int OnReport(IowKit2Handle, unsigned pipe, const uint8_t* report, unsigned length,
                        void* context) {
        auto* self = static_cast<Integration*>(context);
        self->received_.push_back(
            {std::vector<uint8_t>(report, report + length), pipe, length, GetCurrentThreadId()});
        return 1;
    }

    void Start() {
        ASSERT_EQ(IowKit2RegisterDeviceCallback(OnDeviceEvent, this), 0u);
        window_ = FindWindowA("IowKit2WndClass", "IowKit2ThreadMessageWindow");
        ASSERT_NE(window_, nullptr);
    }

    // Runs every message waiting for this thread.
    static void Pump() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
    }

    // Dispatches messages until condition() holds (bounded against a hang).
    template <typename Condition>
    static bool PumpUntil(Condition condition) {
        for (int i = 0; i < 10000 && !condition(); ++i) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
            Pump();
        }
        return condition();
    }

    // The platform's broadcast, sent from another thread as the system does.
    void Broadcast(WPARAM event) {
        HWND window = window_;
        std::thread system([window, event] { SendMessageA(window, 0x0219, event, 0); });
        while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) {
            Sleep(1);
        }
        Pump();
        system.join();
    }

    // A report on the pipe that the owner thread has not served yet.
    void SendReportAndAwaitHandOver(unsigned pipe) {
        const uint8_t report[8] = {9, 4, 2, 0, 3, 3, 0, 0};
        switch_->Pipe(pipe).SendInputReport(report, sizeof(report));
        for (int i = 0; i < 10000 && !SentMessagePending(); ++i) {
            Sleep(1);
        }
        ASSERT_TRUE(SentMessagePending());
    }
    static bool SentMessagePending() {
        return HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE;
    }

    std::shared_ptr<hidsim::Bus> bus_;
    std::shared_ptr<hidsim::VirtualSwitch> switch_;
    std::atomic<int> scans_{0};
    HWND window_ = nullptr;
    std::vector<Event> events_;
    std::vector<Received> received_;
};

TEST_F(Integration, DeviceChangeSevenRefreshesOnTheOwnerThread) {
    Start();
    IowKit2AnnounceUnclaimed();
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(scans_.load(), 0);  // the first scan waits for the message loop
    Pump();
    EXPECT_EQ(scans_.load(), 1);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].event, kIowKit2Arrival);
    EXPECT_EQ(events_[0].thread, GetCurrentThreadId());
    EXPECT_EQ(IowKit2GetProductId(events_[0].device), 1003);
    EXPECT_EQ(IowKit2GetSerialNumber(events_[0].device), 0x1A2B3C4Du);

    // Other events of the broadcast scan nothing.
    Broadcast(0x8000);  // a device arrived
    Broadcast(0x8004);  // a device went away
    EXPECT_EQ(scans_.load(), 1);

    switch_->Unplug();
    Broadcast(7);
    EXPECT_EQ(scans_.load(), 2);
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].event, kIowKit2Removal);
    EXPECT_EQ(events_[1].device, events_[0].device);
    EXPECT_EQ(events_[1].thread, GetCurrentThreadId());

    switch_->Plug();
    Broadcast(7);
    ASSERT_EQ(events_.size(), 3u);
    EXPECT_EQ(events_[2].event, kIowKit2Arrival);
    EXPECT_EQ(events_[2].thread, GetCurrentThreadId());
}

TEST_F(Integration, ReportsReachTheCallbackInOrderOnTheOwnerThread) {
    Start();
    Pump();
    ASSERT_EQ(events_.size(), 1u);
    IowKit2Handle device = events_[0].device;

    // Channel enable, then a set-port write: the switch answers with its
    // port state.
    uint8_t channelEnable[64] = {8, 1};
    ASSERT_EQ(IowKit2Write(device, 1, channelEnable), 8);
    uint8_t setPort[64] = {9, 4, 11, 2, 2};
    ASSERT_EQ(IowKit2Write(device, 1, setPort), 8);
    ASSERT_TRUE(PumpUntil([&] { return received_.size() == 1; }));
    const std::vector<uint8_t> portState = {9, 4, 2, 0, 2, 2, 0, 0};
    EXPECT_EQ(received_[0].report, portState);
    EXPECT_EQ(received_[0].pipe, 1u);
    EXPECT_EQ(received_[0].length, 8u);
    EXPECT_EQ(received_[0].thread, GetCurrentThreadId());

    // The switch's own button, pressed 40 times in a row.
    for (uint8_t press = 0; press < 40; ++press) {
        switch_->PressPortButton(press % 4);
    }
    ASSERT_TRUE(PumpUntil([&] { return received_.size() == 41; })) << received_.size();
    for (size_t i = 1; i < received_.size(); ++i) {
        EXPECT_EQ(received_[i].report[2], 2);
        EXPECT_EQ(received_[i].report[4], (i - 1) % 4) << "report " << i;
        EXPECT_EQ(received_[i].thread, GetCurrentThreadId());
    }
}

TEST_F(Integration, AQuickReplugServedAsTwoBroadcastsIsARemovalAndAnArrival) {
    Start();
    Pump();
    ASSERT_EQ(events_.size(), 1u);
    // Out and in again while the owner thread is busy, given the same nodes
    // back; then both broadcasts are served one after the other.
    std::shared_ptr<hidsim::Device> gone = switch_->CurrentDevice();
    switch_->Unplug();
    ASSERT_NE(gone->PlugAgain(), nullptr);
    Broadcast(7);
    Broadcast(7);
    ASSERT_EQ(events_.size(), 3u);
    EXPECT_EQ(events_[1].event, kIowKit2Removal);
    EXPECT_EQ(events_[1].device, events_[0].device);
    EXPECT_EQ(events_[2].event, kIowKit2Arrival);
    EXPECT_NE(events_[2].device, events_[0].device);
    EXPECT_EQ(IowKit2GetProductId(events_[2].device), 1003);
}

// A close stops pipe 0's reader first: a hand-over on either pipe is
// pending while a reader is being waited for.
class HandOverInFlight : public Integration, public ::testing::WithParamInterface<unsigned> {};

TEST_P(HandOverInFlight, StoppingEnds) {
    Start();
    Pump();
    ASSERT_EQ(events_.size(), 1u);

    // A report arrives while the owner thread does not dispatch: the reader
    // blocks in its hand-over.
    SendReportAndAwaitHandOver(GetParam());
    IowKit2Shutdown();
    // The abandoned report never reached the program.
    EXPECT_TRUE(received_.empty());
    EXPECT_EQ(FindWindowA("IowKit2WndClass", "IowKit2ThreadMessageWindow"), nullptr);
}

TEST_P(HandOverInFlight, RemovalEnds) {
    Start();
    Pump();
    ASSERT_EQ(events_.size(), 1u);

    SendReportAndAwaitHandOver(GetParam());
    // The broadcast handled on the owner thread before the hand-over: the
    // refresh stops the readers while one of them waits for an answer.
    switch_->Unplug();
    SendMessageA(window_, 0x0219, 7, 0);
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].event, kIowKit2Removal);
    EXPECT_TRUE(received_.empty());
}

INSTANTIATE_TEST_SUITE_P(BothPipes, HandOverInFlight, ::testing::Values(0u, 1u));

TEST_F(Integration, ABroadcastServedDuringShutdownScansNothing) {
    Start();
    Pump();
    ASSERT_EQ(events_.size(), 1u);

    // The broadcast waits for the owner thread; then a report reaches pipe
    // 1's reader, which must hand it over before it can stop.
    HWND window = window_;
    std::thread system([window] { SendMessageA(window, 0x0219, 7, 0); });
    for (int i = 0; i < 10000 && !SentMessagePending(); ++i) {
        Sleep(1);
    }
    ASSERT_TRUE(SentMessagePending());
    const uint8_t report[8] = {9, 4, 2, 0, 3, 3, 0, 0};
    switch_->Pipe(1).SendInputReport(report, sizeof(report));
    ASSERT_TRUE(bus_->Await([&] { return switch_->Pipe(1).Reads().reportsDelivered == 1; }));

    // Shutting down serves both while it waits for the reader.
    IowKit2Shutdown();
    Pump();
    system.join();
    EXPECT_EQ(scans_.load(), 1);
    EXPECT_EQ(events_.size(), 1u);
    EXPECT_TRUE(received_.empty());
}

}  // namespace
