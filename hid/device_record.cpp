#include "hid/device_record.h"

#include <cstring>
#include <new>

#include "hid/layer_state.h"
#include "hid/pipe_reader.h"

static_assert(alignof(IowKit2Device) <= alignof(std::max_align_t),
              "heap blocks must be able to hold a record");

IowKit2LayerState& IowKit2Layer() {
    // Never destroyed: a program may end without shutting the layer down,
    // and its reader threads still use the records while the process exits.
    union Holder {
        IowKit2LayerState layer;
        Holder() : layer() {}
        ~Holder() {}
    };
    static Holder holder;
    return holder.layer;
}

void IowKit2HeapDeleter::operator()(void* block) const {
    if (block != nullptr) {
        IowKit2Layer().platform->HeapRelease(block);
    }
}

IowKit2HeapText IowKit2CopyToHeap(const std::string& text) {
    void* block = IowKit2Layer().platform->HeapAllocate(text.size() + 1);
    if (block == nullptr) {
        return nullptr;
    }
    std::memcpy(block, text.c_str(), text.size() + 1);
    return IowKit2HeapText(static_cast<char*>(block));
}

void IowKit2DeviceDeleter::operator()(IowKit2Device* device) const {
    if (device != nullptr) {
        device->~IowKit2Device();
        IowKit2Layer().platform->HeapRelease(device);
    }
}

IowKit2DevicePtr IowKit2NewDevice() {
    void* block = IowKit2Layer().platform->HeapAllocate(sizeof(IowKit2Device));
    if (block == nullptr) {
        return nullptr;
    }
    return IowKit2DevicePtr(new (block) IowKit2Device());
}

IowKit2Device* IowKit2DeviceList::PushFront(IowKit2DevicePtr device) {
    device->next = std::move(head_);
    head_ = std::move(device);
    return head_.get();
}

IowKit2DevicePtr IowKit2DeviceList::PopFront() {
    IowKit2DevicePtr first = std::move(head_);
    if (first) {
        head_ = std::move(first->next);
    }
    return first;
}

IowKit2DevicePtr IowKit2DeviceList::Unlink(IowKit2Device* device) {
    for (IowKit2DevicePtr* link = &head_; *link; link = &(*link)->next) {
        if (link->get() == device) {
            IowKit2DevicePtr taken = std::move(*link);
            *link = std::move(taken->next);
            return taken;
        }
    }
    return nullptr;
}

bool IowKit2DeviceList::Contains(const IowKit2Device* device) const {
    for (const IowKit2Device* record = head_.get(); record; record = record->next.get()) {
        if (record == device) {
            return true;
        }
    }
    return false;
}

IowKit2Device* IowKit2FindDevice(IowKit2Handle handle) {
    const IowKit2LayerState& layer = IowKit2Layer();
    // Once a shutdown was asked for, the handles are gone for the program,
    // even while the shutdown waits for a callback to end.
    if (handle == nullptr || layer.shutdownDeferred) {
        return nullptr;
    }
    if (layer.openList.Contains(handle) || layer.foundList.Contains(handle)) {
        return handle;
    }
    return nullptr;
}

IowKit2Device* IowKit2FindKnownDevice(IowKit2Handle handle) {
    IowKit2Device* device = IowKit2FindDevice(handle);
    if (device == nullptr ||
        (device->stateMark != kIowKit2LiveMark && device->stateMark != kIowKit2ClosedMark)) {
        return nullptr;
    }
    return device;
}

void IowKit2CloseDevice(IowKit2Device& device, bool full) {
    // While one reader is waited for, the other's hand-over may be served:
    // neither may reach the program in the middle of the close.
    for (IowKit2Pipe& slot : device.pipes) {
        slot.stopping = true;
    }
    for (unsigned pipe = 0; pipe < kIowKit2PipeCount; ++pipe) {
        IowKit2StopReader(device, pipe, full);
        IowKit2Pipe& slot = device.pipes[pipe];
        slot.readPort.reset();
        slot.writePort.reset();
        slot.devicePath.reset();
    }
    device.stateMark = kIowKit2ClosedMark;
}

void IowKit2FreeDevice(IowKit2DeviceList& list, IowKit2Device* device) {
    IowKit2DevicePtr taken = list.Unlink(device);
    if (taken) {
        IowKit2CloseDevice(*taken, true);
    }
}

void IowKit2FreeAll(IowKit2DeviceList& list) {
    while (IowKit2DevicePtr first = list.PopFront()) {
        IowKit2CloseDevice(*first, true);
    }
}
