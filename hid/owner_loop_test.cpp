#include "hid/owner_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// A loop whose tasks write what they did into log (owner thread only).
struct LoggingLoop {
    std::vector<std::string> log;
    std::shared_ptr<IowKit2OwnerLoop> loop;
    std::unique_ptr<IowKit2Carrier> carrier;

    LoggingLoop() {
        IowKit2OwnerLoop::Handlers handlers;
        handlers.serveReport = [this](unsigned pipe, IowKit2Handle) {
            log.push_back("report " + std::to_string(pipe));
            return static_cast<int>(pipe) + 100;
        };
        handlers.devicesChanged = [this] { log.push_back("change"); };
        loop = IowKit2OwnerLoop::Make(handlers);
        carrier = loop->MakeCarrier();
    }
};

TEST(OwnerLoop, DeviceChangesRunOnlyWhenTheOwnerDispatches) {
    LoggingLoop owner;
    owner.carrier->PostDeviceChange();  // not created yet: dropped
    ASSERT_EQ(owner.carrier->Create(), 0u);
    EXPECT_TRUE(owner.carrier->IsCreated());
    owner.carrier->PostDeviceChange();
    owner.carrier->PostDeviceChange();
    EXPECT_TRUE(owner.log.empty());
    EXPECT_EQ(owner.loop->RunPending(), 2u);
    EXPECT_EQ(owner.log, (std::vector<std::string>{"change", "change"}));
    EXPECT_EQ(owner.loop->RunPending(), 0u);

    // A destroyed carrier forgets what was posted to it.
    owner.carrier->PostDeviceChange();
    owner.carrier->Destroy();
    EXPECT_FALSE(owner.carrier->IsCreated());
    EXPECT_EQ(owner.loop->RunPending(), 0u);
}

TEST(OwnerLoop, CreateCanBeMadeToFailOnce) {
    LoggingLoop owner;
    owner.loop->FailNextCreate(8);
    EXPECT_EQ(owner.carrier->Create(), 8u);
    EXPECT_FALSE(owner.carrier->IsCreated());
    EXPECT_EQ(owner.carrier->Create(), 0u);
}

TEST(OwnerLoop, HandOversBlockTheReaderAndAreServedInOrderBeforeDeviceChanges) {
    LoggingLoop owner;
    ASSERT_EQ(owner.carrier->Create(), 0u);
    owner.carrier->PostDeviceChange();

    std::atomic<int> first{-1};
    std::atomic<int> second{-1};
    std::thread readerA([&] { first = owner.carrier->HandOverReport(0, nullptr); });
    while (owner.loop->PendingHandOvers() < 1) {
        std::this_thread::yield();
    }
    std::thread readerB([&] { second = owner.carrier->HandOverReport(1, nullptr); });
    while (owner.loop->PendingHandOvers() < 2) {
        std::this_thread::yield();
    }
    EXPECT_EQ(first.load(), -1);  // still blocked: nobody dispatched
    owner.loop->RunPending();
    readerA.join();
    readerB.join();
    EXPECT_EQ(first.load(), 100);
    EXPECT_EQ(second.load(), 101);
    EXPECT_EQ(owner.log, (std::vector<std::string>{"report 0", "report 1", "change"}));
}

TEST(OwnerLoop, HandOverFromTheOwnerThreadRunsAtOnce) {
    LoggingLoop owner;
    ASSERT_EQ(owner.carrier->Create(), 0u);
    EXPECT_EQ(owner.carrier->HandOverReport(1, nullptr), 101);
    EXPECT_EQ(owner.log, (std::vector<std::string>{"report 1"}));
}

TEST(OwnerLoop, WaitServingHandOversServesUntilTheSignalAndLeavesPostedWork) {
    LoggingLoop owner;
    ASSERT_EQ(owner.carrier->Create(), 0u);
    owner.carrier->PostDeviceChange();
    std::unique_ptr<IowKit2Signal> stopped = owner.carrier->CreateSignal();
    EXPECT_FALSE(stopped->IsRaised());
    std::atomic<int> answers{0};
    std::thread reader([&] {
        answers += owner.carrier->HandOverReport(0, nullptr);
        answers += owner.carrier->HandOverReport(1, nullptr);
        stopped->Raise();
    });
    owner.carrier->WaitServingHandOvers(*stopped);
    reader.join();
    EXPECT_TRUE(stopped->IsRaised());
    EXPECT_EQ(answers.load(), 201);
    EXPECT_EQ(owner.log, (std::vector<std::string>{"report 0", "report 1"}));
    owner.loop->RunPending();
    EXPECT_EQ(owner.log.back(), "change");
}

TEST(OwnerLoop, DestroyReleasesABlockedReaderWithZero) {
    LoggingLoop owner;
    ASSERT_EQ(owner.carrier->Create(), 0u);
    std::atomic<int> answer{-1};
    std::thread reader([&] { answer = owner.carrier->HandOverReport(1, nullptr); });
    while (owner.loop->PendingHandOvers() == 0) {
        std::this_thread::yield();
    }
    owner.carrier->Destroy();
    reader.join();
    EXPECT_EQ(answer.load(), 0);
    EXPECT_TRUE(owner.log.empty());
    EXPECT_EQ(owner.carrier->HandOverReport(1, nullptr), 0);  // no window: no answer
}

TEST(OwnerLoop, ATaskMayDispatchAgainFromInside) {
    std::vector<std::string> log;
    std::shared_ptr<IowKit2OwnerLoop> loop;
    IowKit2OwnerLoop::Handlers handlers;
    int depth = 0;
    handlers.devicesChanged = [&] {
        log.push_back("change at depth " + std::to_string(depth));
        if (depth++ == 0) {
            loop->PostDeviceChange();
            loop->RunPending();  // as a message box would
        }
        --depth;
    };
    loop = IowKit2OwnerLoop::Make(handlers);
    ASSERT_EQ(loop->Create(), 0u);
    loop->PostDeviceChange();
    loop->RunPending();
    EXPECT_EQ(log, (std::vector<std::string>{"change at depth 0", "change at depth 1"}));
}

}  // namespace
