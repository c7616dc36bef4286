// Test fixture for the layer: a fresh simulated bus and owner loop per test,
// the test's thread as the owner thread, and a record of device callbacks.
// Shutting down at the end must leave no heap block behind.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "hid/iowkit2.h"
#include "hid/owner_loop.h"
#include "hid/sim/sim_bus.h"
#include "hid/sim/virtual_switch.h"

struct DeviceEvent {
    int event;
    IowKit2Handle device;
    bool operator==(const DeviceEvent&) const = default;
};

class LayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        IowKit2InstallPlatform(bus_->MakePlatform());
        IowKit2InstallCarrier(loop_->MakeCarrier());
    }

    void TearDown() override {
        IowKit2Shutdown();
        const hidsim::HeapStats heap = bus_->Heap();
        EXPECT_FALSE(heap.exists);
        EXPECT_EQ(heap.releasedByDestroy, 0u) << "heap blocks leaked";
        EXPECT_FALSE(bus_->IsLoaded());
        EXPECT_FALSE(loop_->IsCreated());
    }

    uint32_t Start() { return IowKit2RegisterDeviceCallback(&LayerTest::OnDevice, this); }
    // The owner thread dispatches what is pending.
    void Dispatch() { loop_->RunPending(); }

    // An IO-Warrior-like device with the given product id and serial.
    static hidsim::DeviceDescription IowDevice(uint16_t productId,
                                               std::u16string serial = u"0000ABCD") {
        hidsim::SwitchOptions options;
        options.productId = productId;
        options.serialNumber = std::move(serial);
        return hidsim::SwitchDeviceDescription(options);
    }

    std::vector<IowKit2Handle> Arrivals() const { return Select(kIowKit2Arrival); }
    std::vector<IowKit2Handle> Removals() const { return Select(kIowKit2Removal); }

    std::shared_ptr<hidsim::Bus> bus_ = hidsim::Bus::Make();
    std::shared_ptr<IowKit2OwnerLoop> loop_ = IowKit2OwnerLoop::Make();
    std::vector<DeviceEvent> events_;
    // Runs inside the device callback, after the event was recorded.
    std::function<void(int, IowKit2Handle)> onDevice_;

  private:
    static void OnDevice(int event, IowKit2Handle device, void* context) {
        auto* self = static_cast<LayerTest*>(context);
        self->events_.push_back({event, device});
        if (self->onDevice_) {
            self->onDevice_(event, device);
        }
    }

    std::vector<IowKit2Handle> Select(int event) const {
        std::vector<IowKit2Handle> devices;
        for (const DeviceEvent& record : events_) {
            if (record.event == event) {
                devices.push_back(record.device);
            }
        }
        return devices;
    }
};
