// The switch connection over the real HID layer and the virtual switch: what
// the connection sends reaches the switch's firmware byte for byte, and the
// firmware's answers come back decoded on the owner thread.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "hid/owner_loop.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/virtual_switch.h"
#include "resources/resource.h"
#include "switchlink/switch_connection.h"
#include "switchlink/testing/recording_desktop.h"

namespace {

using Bytes = std::vector<uint8_t>;

class SwitchLinkOverLayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hidsim::SwitchOptions options;
        options.serialNumber = u"00C0FFEE";
        options.revision = 0x0203;
        options.port = 2;
        options.secondPort = 1;
        options.firmwareMajor = 1;
        options.firmwareMinor = 10;
        options.deviceType = 2;
        switch_ = hidsim::VirtualSwitch::Make(bus_, options);
        switch_->SetTrafficListener(
            [this](hidsim::Direction direction, const uint8_t* report, size_t size) {
                if (direction == hidsim::Direction::kToSwitch) {
                    std::lock_guard lock(trafficMutex_);
                    toSwitch_.emplace_back(report, report + size);
                }
            });
        IowKit2InstallPlatform(bus_->MakePlatform());
        IowKit2InstallCarrier(loop_->MakeCarrier());
    }

    void TearDown() override { IowKit2Shutdown(); }

    std::vector<Bytes> ToSwitch() {
        std::lock_guard lock(trafficMutex_);
        return toSwitch_;
    }

    bool Dispatch(const std::function<bool()>& done) { return loop_->RunUntil(done); }

    std::shared_ptr<hidsim::Bus> bus_ = hidsim::Bus::Make(hidsim::Clock::kReal);
    std::shared_ptr<IowKit2OwnerLoop> loop_ = IowKit2OwnerLoop::Make();
    std::shared_ptr<hidsim::VirtualSwitch> switch_;
    RecordingDesktop desktop_;
    SwitchConnection connection_{desktop_};

  private:
    std::mutex trafficMutex_;
    std::vector<Bytes> toSwitch_;
};

TEST_F(SwitchLinkOverLayerTest, PluggedSwitchIsTakenAndItsAnswersShown) {
    switch_->Plug();
    ASSERT_EQ(IowKit2RegisterDeviceCallback(&SwitchConnection::OnDeviceEvent,
                                            connection_.CallbackContext()),
              0u);
    EXPECT_FALSE(connection_.HasSwitch()) << "taken before the owner thread dispatched";

    ASSERT_TRUE(Dispatch([&] { return connection_.DeviceType() == 2; }));
    EXPECT_TRUE(connection_.HasSwitch());
    EXPECT_EQ(connection_.SerialNumber(), 0x00C0FFEEu);
    EXPECT_EQ(connection_.HardwareRevision(), 0x0203u);
    EXPECT_EQ(connection_.CurrentPort(), 2u);
    EXPECT_EQ(connection_.SecondPort(), 1u);
    EXPECT_EQ(connection_.FirmwareVersion(), "1.10");

    // Pipe 1 carries 8-byte reports: the channel enable, then each query and
    // its follow-up frame.
    EXPECT_EQ(ToSwitch(), (std::vector<Bytes>{
                              {8, 1, 3, 0, 0, 0, 0, 0},
                              {9, 4, 2, 0, 0, 0, 0, 0},
                              {9, 4, 7, 0, 0, 0, 0, 0},
                              {9, 4, 0, 0, 0, 0, 0, 0},
                              {9, 4, 7, 0, 0, 0, 0, 0},
                              {9, 4, 3, 0, 0, 0, 0, 0},
                              {9, 4, 7, 0, 0, 0, 0, 0},
                          }));
    EXPECT_TRUE(desktop_.Item(ID_PORT_C).checked);
    EXPECT_FALSE(desktop_.Item(ID_PORT_A).checked);
    EXPECT_EQ(desktop_.Item(ID_MODEL_NAME).text, "Pelorandix Type B1");
    EXPECT_TRUE(desktop_.Item(ID_MODEL_NAME).disabled);
}

TEST_F(SwitchLinkOverLayerTest, ReplugIsTakenAgainAndRemovalReleasesTheClaim) {
    switch_->Plug();
    ASSERT_EQ(IowKit2RegisterDeviceCallback(&SwitchConnection::OnDeviceEvent,
                                            connection_.CallbackContext()),
              0u);
    ASSERT_TRUE(Dispatch([&] { return connection_.DeviceType() == 2; }));
    const IowKit2Handle first = connection_.DeviceHandle();

    switch_->Unplug();
    ASSERT_TRUE(Dispatch([&] { return !connection_.HasSwitch(); }));
    // The claim was cleared in the removal, so the layer let go of the record.
    EXPECT_EQ(IowKit2GetProductId(first), 0);
    EXPECT_EQ(IowKit2GetLastError(), 87u);
    EXPECT_EQ(connection_.FirmwareVersion(), "1.10") << "kept values stay";

    switch_->PressPortButton(3);  // unplugged: nobody hears it
    switch_->Plug();
    ASSERT_TRUE(
        Dispatch([&] { return connection_.HasSwitch() && connection_.CurrentPort() == 3; }));
    const std::vector<Bytes> sent = ToSwitch();
    ASSERT_EQ(sent.size(), 14u);
    EXPECT_EQ(sent[7], (Bytes{8, 1, 3, 0, 0, 0, 0, 0})) << "channel enabled again";
    EXPECT_TRUE(desktop_.Item(ID_PORT_D).checked);
}

TEST_F(SwitchLinkOverLayerTest, SetPortReachesTheSwitchAndItsAnswerMovesTheCheck) {
    switch_->Plug();
    ASSERT_EQ(IowKit2RegisterDeviceCallback(&SwitchConnection::OnDeviceEvent,
                                            connection_.CallbackContext()),
              0u);
    ASSERT_TRUE(Dispatch([&] { return connection_.DeviceType() == 2; }));

    switchlink::ReportBuffer setPort{};
    setPort[0] = 9;
    setPort[1] = 4;
    setPort[2] = 11;
    setPort[3] = 0;
    setPort[4] = 1;
    EXPECT_EQ(connection_.WriteToSwitch(setPort), 8);
    EXPECT_EQ(switch_->Port(), 0);
    ASSERT_TRUE(Dispatch([&] { return connection_.CurrentPort() == 0; }));
    EXPECT_TRUE(desktop_.Item(ID_PORT_A).checked);
    EXPECT_FALSE(desktop_.Item(ID_PORT_C).checked);
}

}  // namespace
