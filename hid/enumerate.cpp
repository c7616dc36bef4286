#include "hid/enumerate.h"

#include <algorithm>
#include <optional>

#include "hid/layer_state.h"
#include "hid/serial_number.h"

namespace {

// The physical USB device: two levels above the HID interface's node.
std::optional<uint32_t> GrandParent(IowKit2Platform& platform, uint32_t node) {
    const std::optional<uint32_t> parent = platform.GetParent(node);
    return parent ? platform.GetParent(*parent) : std::nullopt;
}

IowKit2Device* FindByKey(const IowKit2DeviceList& list, uint32_t key) {
    for (IowKit2Device* device = list.Head(); device; device = device->next.get()) {
        if (device->deviceKey == key) {
            return device;
        }
    }
    return nullptr;
}

// Reports longer than the layer's buffers, or caps that could not be had,
// make an interface the layer must not act on.
bool Usable(const std::optional<IowKit2HidCaps>& caps) {
    return caps && caps->inputReportLength <= kIowKit2ReportSize &&
           caps->outputReportLength <= kIowKit2ReportSize;
}

void AddInterface(IowKit2DeviceList& found, const IowKit2InterfaceEntry& entry) {
    IowKit2Platform& platform = *IowKit2Layer().platform;
    std::unique_ptr<IowKit2Probe> probe = platform.OpenProbe(entry.devicePath);
    if (!probe) {
        return;
    }
    const std::optional<IowKit2HidAttributes> attributes = probe->GetAttributes();
    if (!attributes || !IowKit2Matches(*attributes)) {
        return;
    }
    const std::optional<uint32_t> key = GrandParent(platform, entry.node);
    if (!key) {
        return;  // no way to tell which device it belongs to
    }
    IowKit2Device* device = FindByKey(found, *key);
    if (device == nullptr) {
        IowKit2DevicePtr fresh = IowKit2NewDevice();
        if (!fresh) {
            return;
        }
        fresh->deviceKey = *key;
        device = found.PushFront(std::move(fresh));
    }
    device->stateMark = kIowKit2LiveMark;
    const std::optional<IowKit2HidCaps> caps = probe->GetCaps();
    // The interface counts towards the device even when unusable, so that
    // such a device is never kept with a pipe missing.
    ++device->interfaceCount;
    if (!Usable(caps)) {
        return;
    }
    IowKit2Pipe& slot =
        device->pipes[caps->outputReportLength >= kIowKit2Pipe1MinOutputLength ? 1 : 0];
    if (slot.devicePath) {
        return;  // two interfaces of one pipe class: the device is not kept
    }
    IowKit2HeapText path = IowKit2CopyToHeap(entry.devicePath);
    if (!path) {
        return;
    }
    slot.hidAttr = *attributes;
    slot.hidCaps = *caps;
    slot.devicePath = std::move(path);
    slot.interfaceNode = entry.node;
    IowKit2ReadSerialNumber(*probe, device->serialNumber);
    device->writeTimeout = kIowKit2InfiniteTimeout;
}

bool Keep(const IowKit2Device& device) {
    return device.interfaceCount == kIowKit2InterfacesPerDevice && device.pipes[0].devicePath &&
           device.pipes[1].devicePath;
}

}  // namespace

bool IowKit2Matches(const IowKit2HidAttributes& attributes) {
    return attributes.vendorId == kIowKit2VendorId &&
           std::find(std::begin(kIowKit2ProductIds), std::end(kIowKit2ProductIds),
                     attributes.productId) != std::end(kIowKit2ProductIds);
}

int IowKit2Enumerate(IowKit2DeviceList& found) {
    IowKit2FreeAll(found);
    // Each interface is matched and keyed while the device set lives: its
    // node may mean nothing once the set is gone.
    const bool listed = IowKit2Layer().platform->VisitHidInterfaces(
        [&found](const IowKit2InterfaceEntry& entry) { AddInterface(found, entry); });
    if (!listed) {
        return 0;
    }
    int kept = 0;
    for (IowKit2Device* device = found.Head(); device;) {
        IowKit2Device* next = device->next.get();
        if (Keep(*device)) {
            ++kept;
        } else {
            IowKit2FreeDevice(found, device);
        }
        device = next;
    }
    return kept;
}
