// The hidden window carrier, with recording stand-ins for the engine's two
// entry points.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "hid/win32/window_carrier.h"

namespace {

struct Served {
    unsigned pipe;
    IowKit2Handle device;
    DWORD thread;
    int handOversReturned;  // by the reader, when this one was served
};

std::vector<Served> served;
std::atomic<int> handOversReturned{0};
std::vector<DWORD> devicesChangedThreads;

IowKit2Handle FakeDevice(uintptr_t id) {
    return reinterpret_cast<IowKit2Handle>(id);
}

// Runs every message waiting for this thread.
void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
    }
}

// Waits until another thread's SendMessage to this thread is pending.
bool WaitForSentMessage() {
    for (int i = 0; i < 5000; ++i) {
        if (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) {
            return true;
        }
        Sleep(1);
    }
    return false;
}

class WindowCarrier : public ::testing::Test {
  protected:
    void SetUp() override {
        served.clear();
        devicesChangedThreads.clear();
        handOversReturned = 0;
        ASSERT_EQ(carrier_.Create(), 0u);
    }

    HWND Window() const { return FindWindowA("IowKit2WndClass", "IowKit2ThreadMessageWindow"); }

    IowKit2WindowCarrier carrier_;
};

}  // namespace

int IowKit2ServeReport(unsigned pipe, IowKit2Handle device) {
    served.push_back({pipe, device, GetCurrentThreadId(), handOversReturned.load()});
    return static_cast<int>(reinterpret_cast<uintptr_t>(device) * 10 + pipe);
}

void IowKit2DevicesChanged() {
    devicesChangedThreads.push_back(GetCurrentThreadId());
}

namespace {

TEST_F(WindowCarrier, IsAHiddenToolWindowThatSurvivesARecreate) {
    HWND window = Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(carrier_.IsCreated());
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetParent(window), nullptr);
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & 0x80);                         // tool window
    EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & static_cast<LONG>(0x80000000));  // popup

    carrier_.Destroy();
    EXPECT_FALSE(carrier_.IsCreated());
    EXPECT_EQ(Window(), nullptr);
    EXPECT_EQ(carrier_.HandOverReport(1, FakeDevice(3)), 0);
    // The class is still registered from the first start: that is no failure.
    ASSERT_EQ(carrier_.Create(), 0u);
    EXPECT_NE(Window(), nullptr);
}

TEST_F(WindowCarrier, DeviceChangeSevenAndResumeRefreshOnTheOwnerThreadOnly) {
    carrier_.PostDeviceChange();
    EXPECT_TRUE(devicesChangedThreads.empty());  // never inside the call
    Pump();
    ASSERT_EQ(devicesChangedThreads.size(), 1u);
    EXPECT_EQ(devicesChangedThreads[0], GetCurrentThreadId());

    // The platform's broadcast, from another thread, with other events too.
    HWND window = Window();
    std::thread broadcaster([window] {
        SendMessageA(window, 0x0219, 0x8000, 0);  // a device arrived
        SendMessageA(window, 0x0219, 0x8004, 0);  // a device went away
        SendMessageA(window, 0x0219, 0x0018, 0);  // configuration changed
        SendMessageA(window, 0x0219, 7, 0);       // devices changed
        SendMessageA(window, 0x0218, 0x4, 0);     // going to sleep
        SendMessageA(window, 0x0218, 0x12, 0);    // resumed: look again
    });
    while (devicesChangedThreads.size() < 3) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Pump();
    }
    broadcaster.join();
    ASSERT_EQ(devicesChangedThreads.size(), 3u);
    EXPECT_EQ(devicesChangedThreads[2], GetCurrentThreadId());
    EXPECT_TRUE(served.empty());
}

TEST_F(WindowCarrier, HandOversReachTheOwnerInOrderWithTheReaderBlocked) {
    std::vector<int> answers;
    DWORD readerThread = 0;
    std::thread reader([&] {
        readerThread = GetCurrentThreadId();
        for (uintptr_t report = 1; report <= 5; ++report) {
            answers.push_back(carrier_.HandOverReport(1, FakeDevice(report)));
            ++handOversReturned;
        }
    });
    ASSERT_TRUE(WaitForSentMessage());
    Sleep(20);
    EXPECT_EQ(handOversReturned.load(), 0);  // blocked until the owner dispatches
    for (int i = 0; i < 5000 && handOversReturned.load() < 5; ++i) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_SENDMESSAGE);
        Pump();
    }
    reader.join();

    ASSERT_EQ(served.size(), 5u);
    for (uintptr_t i = 0; i < 5; ++i) {
        EXPECT_EQ(served[i].pipe, 1u);
        EXPECT_EQ(served[i].device, FakeDevice(i + 1));
        EXPECT_EQ(served[i].thread, GetCurrentThreadId());
        EXPECT_NE(served[i].thread, readerThread);
        // The reader had not come back from this hand-over while it was served.
        EXPECT_EQ(served[i].handOversReturned, static_cast<int>(i));
    }
    EXPECT_EQ(answers, (std::vector<int>{11, 21, 31, 41, 51}));

    // A report message without a device is not a report.
    EXPECT_EQ(SendMessageA(Window(), 0x0400, 1, 0), 0);
    EXPECT_EQ(served.size(), 5u);
}

TEST_F(WindowCarrier, WaitServingHandOversEndsWhileAHandOverIsInFlight) {
    auto stopped = carrier_.CreateSignal();
    ASSERT_NE(stopped, nullptr);
    EXPECT_FALSE(stopped->IsRaised());
    // A device change posted before the wait must not refresh inside it.
    carrier_.PostDeviceChange();

    int answer = -1;
    std::thread reader([&] {
        answer = carrier_.HandOverReport(0, FakeDevice(4));
        stopped->Raise();
    });
    ASSERT_TRUE(WaitForSentMessage());
    carrier_.WaitServingHandOvers(*stopped);
    reader.join();

    EXPECT_TRUE(stopped->IsRaised());
    EXPECT_EQ(answer, 40);
    ASSERT_EQ(served.size(), 1u);
    EXPECT_EQ(served[0].thread, GetCurrentThreadId());
    EXPECT_TRUE(devicesChangedThreads.empty());
    Pump();
    EXPECT_EQ(devicesChangedThreads.size(), 1u);

    // Already raised: returns at once.
    carrier_.WaitServingHandOvers(*stopped);
}

TEST_F(WindowCarrier, WaitServingHandOversWithoutAnyHandOver) {
    auto stopped = carrier_.CreateSignal();
    std::thread reader([&] {
        Sleep(20);
        stopped->Raise();
    });
    carrier_.WaitServingHandOvers(*stopped);
    reader.join();
    EXPECT_TRUE(served.empty());
}

}  // namespace
