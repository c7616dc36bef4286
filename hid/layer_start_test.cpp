// Runs alone in its process: the layer has never been given a platform or
// carrier here.
#include <gtest/gtest.h>

#include "hid/iowkit2.h"
#include "hid/owner_loop.h"
#include "hid/sim/sim_bus.h"

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
