#include "hid/refresh.h"

#include <vector>

#include "hid/carrier.h"
#include "hid/enumerate.h"
#include "hid/layer_state.h"
#include "hid/pipe_reader.h"

namespace {

// The first record of list that stands for the same interface as pipe 0 of
// device.
IowKit2Device* FindSameInterface(const IowKit2DeviceList& list, const IowKit2Device& device) {
    for (IowKit2Device* other = list.Head(); other; other = other->next.get()) {
        if (other->pipes[0].interfaceNode == device.pipes[0].interfaceNode) {
            return other;
        }
    }
    return nullptr;
}

// Once the program asked for a shutdown, it hears of no more devices: the
// shutdown waiting for the refresh to end would free them under it.
void Announce(int event, IowKit2Device* device) {
    const IowKit2LayerState& layer = IowKit2Layer();
    if (layer.deviceCallback != nullptr && !layer.shutdownDeferred) {
        layer.deviceCallback(event, device, layer.callbackContext);
    }
}

// A device unplugged and plugged in again before this refresh may be back
// under the same node; the record's handles are then still on the device
// that went, and answer so.
bool HandlesGone(const IowKit2Device& device) {
    for (const IowKit2Pipe& slot : device.pipes) {
        if (slot.writePort && slot.writePort->DeviceGone()) {
            return true;
        }
    }
    return false;
}

// Open devices that are gone: closed, announced, and released unless the
// program still claims them. A record still claimed is announced again at
// every refresh until its claim is cleared.
void HandleRemovals(IowKit2LayerState& layer) {
    for (IowKit2Device* device = layer.openList.Head(); device;) {
        IowKit2Device* next = device->next.get();
        const bool present = device->stateMark == kIowKit2LiveMark &&
                             FindSameInterface(layer.foundList, *device) != nullptr &&
                             !HandlesGone(*device);
        if (!present) {
            IowKit2CloseDevice(*device, false);
            Announce(kIowKit2Removal, device);
            if (device->claimed.load() == 0) {
                IowKit2FreeDevice(layer.openList, device);
            }
        }
        device = next;
    }
}

void ReleaseUnclaimedClosed(IowKit2LayerState& layer) {
    for (IowKit2Device* device = layer.openList.Head(); device;) {
        IowKit2Device* next = device->next.get();
        if (device->stateMark != kIowKit2LiveMark && device->claimed.load() == 0) {
            IowKit2FreeDevice(layer.openList, device);
        }
        device = next;
    }
}

void DropAlreadyOpen(IowKit2LayerState& layer) {
    for (IowKit2Device* device = layer.openList.Head(); device; device = device->next.get()) {
        if (device->stateMark == kIowKit2LiveMark) {
            if (IowKit2Device* again = FindSameInterface(layer.foundList, *device)) {
                IowKit2FreeDevice(layer.foundList, again);
            }
        }
    }
}

// Announced while still in the found list; handle lookups search both. A
// program that asked for a shutdown is offered nothing, so nothing is opened.
void OpenArrivals(IowKit2LayerState& layer) {
    for (IowKit2Device* device = layer.foundList.Head(); device; device = device->next.get()) {
        if (device->stateMark != kIowKit2LiveMark) {
            continue;
        }
        if (layer.deviceCallback != nullptr && !layer.shutdownDeferred &&
            IowKit2OpenPipes(*device)) {
            Announce(kIowKit2Arrival, device);
        } else {
            IowKit2CloseDevice(*device, true);
        }
    }
}

void Merge(IowKit2LayerState& layer) {
    while (IowKit2DevicePtr device = layer.foundList.PopFront()) {
        if (device->stateMark == kIowKit2LiveMark) {
            layer.openList.PushFront(std::move(device));
        } else {
            IowKit2CloseDevice(*device, true);  // already closed: releases what is left
        }
    }
}

}  // namespace

void IowKit2Refresh() {
    IowKit2LayerState& layer = IowKit2Layer();
    layer.refreshing = true;
    layer.changeDuringRefresh = false;
    {
        std::lock_guard lock(*layer.listLock);
        IowKit2Enumerate(layer.foundList);
        HandleRemovals(layer);
        ReleaseUnclaimedClosed(layer);
        DropAlreadyOpen(layer);
        OpenArrivals(layer);
        Merge(layer);
    }
    layer.refreshing = false;
    // Asked for by a device callback; an announcement that this refresh ran
    // inside shuts down when it ends.
    if (layer.shutdownDeferred && !IowKit2OwnerBusy(layer)) {
        IowKit2Shutdown();
        return;
    }
    if (layer.changeDuringRefresh) {
        layer.changeDuringRefresh = false;
        layer.carrier->PostDeviceChange();
    }
}

void IowKit2DevicesChanged() {
    IowKit2LayerState& layer = IowKit2Layer();
    if (!layer.started) {
        return;
    }
    // A change that arrives while a refresh runs (a callback dispatching
    // messages) may come after that refresh looked: one more follows it.
    if (layer.refreshing) {
        layer.changeDuringRefresh = true;
        return;
    }
    // Inside a read callback a refresh could have to stop the very reader
    // that waits for the callback: it runs once the callback returned.
    if (layer.servingReports > 0) {
        layer.changeDeferred = true;
        return;
    }
    if (layer.shutdownDeferred) {
        if (!IowKit2OwnerBusy(layer)) {
            IowKit2Shutdown();
        }
        return;
    }
    // Inside an announcement a refresh may run: the announcement looks each
    // device up again before it offers it.
    layer.changeDeferred = false;
    IowKit2Refresh();
}

void IowKit2AnnounceUnclaimed() {
    IowKit2LayerState& layer = IowKit2Layer();
    if (!layer.started || layer.deviceCallback == nullptr) {
        return;
    }
    IowKit2SetLastError(kIowKit2Success);
    // A callback may ask for a shutdown or a start (put off or refused while
    // this runs) or dispatch messages, and so run a refresh that releases
    // records: each device is offered only if it is still open, live and
    // unclaimed when its turn comes. (A record a refresh made since at the
    // same address is such a device too.)
    ++layer.announcing;
    {
        std::lock_guard lock(*layer.listLock);
        std::vector<IowKit2Device*> candidates;
        for (IowKit2Device* device = layer.openList.Head(); device; device = device->next.get()) {
            candidates.push_back(device);
        }
        const unsigned refusedStarts = layer.refusedStarts;
        for (IowKit2Device* device : candidates) {
            if (layer.shutdownDeferred || layer.refusedStarts != refusedStarts) {
                break;  // the program is done with this layer
            }
            if (layer.openList.Contains(device) && device->stateMark == kIowKit2LiveMark &&
                device->claimed.load() == 0) {
                Announce(kIowKit2Arrival, device);
            }
        }
    }
    --layer.announcing;
    if (layer.shutdownDeferred && !IowKit2OwnerBusy(layer)) {
        IowKit2Shutdown();
    }
}
