// Runs alone in its process: the layer has never been given a platform or
// carrier here.
#include <gtest/gtest.h>

#include <cstdlib>

#include "hid/iowkit2.h"
#include "hid/owner_loop.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/virtual_switch.h"

namespace {

TEST(LayerStart, FailsWithNotReadyUntilAPlatformAndACarrierAreInstalled) {
    IowKit2SetLastError(0);
    EXPECT_EQ(IowKit2RegisterDeviceCallback(nullptr, nullptr), 21u);
    EXPECT_EQ(IowKit2GetLastError(), 21u);

    auto bus = hidsim::Bus::Make();
    IowKit2InstallPlatform(bus->MakePlatform());
    EXPECT_EQ(IowKit2RegisterDeviceCallback(nullptr, nullptr), 21u);
    EXPECT_FALSE(bus->IsLoaded());

    auto loop = IowKit2OwnerLoop::Make();
    IowKit2InstallCarrier(loop->MakeCarrier());
    EXPECT_EQ(IowKit2RegisterDeviceCallback(nullptr, nullptr), 0u);
    EXPECT_TRUE(bus->IsLoaded());
    EXPECT_TRUE(loop->IsCreated());
    IowKit2Shutdown();
    EXPECT_FALSE(bus->IsLoaded());
    EXPECT_FALSE(loop->IsCreated());
    // Shutting down a stopped layer changes nothing and succeeds.
    IowKit2SetLastError(5);
    IowKit2Shutdown();
    EXPECT_EQ(IowKit2GetLastError(), 0u);
}

}  // namespace

TEST(LayerStart, AProgramMayEndWithoutShuttingTheLayerDown) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto bus = hidsim::Bus::Make();
            bus->Plug(hidsim::SwitchDeviceDescription({}));
            auto loop = IowKit2OwnerLoop::Make();
            IowKit2InstallPlatform(bus->MakePlatform());
            IowKit2InstallCarrier(loop->MakeCarrier());
            static bool arrived = false;
            IowKit2RegisterDeviceCallback([](int, IowKit2Handle, void*) { arrived = true; },
                                          nullptr);
            loop->RunUntil([] { return arrived; });
            // The readers still run as the process ends.
            std::exit(arrived ? 3 : 4);
        },
        ::testing::ExitedWithCode(3), "");
}
