// Starting and shutting down the layer, and choosing its platform and carrier.
#include "hid/carrier.h"
#include "hid/layer_state.h"

namespace {

// Start fails with this when no platform or carrier was installed.
constexpr uint32_t kErrorNotReady = 21;  // ERROR_NOT_READY
// A start asked for inside a refresh, a read callback or an announcement is
// refused.
constexpr uint32_t kErrorBusy = 170;  // ERROR_BUSY
constexpr size_t kInitialHeapBytes = 4096;

void RefuseHandOvers(const IowKit2DeviceList& list) {
    for (IowKit2Device* device = list.Head(); device; device = device->next.get()) {
        for (IowKit2Pipe& slot : device->pipes) {
            slot.stopping = true;
        }
    }
}

}  // namespace

void IowKit2InstallPlatform(std::unique_ptr<IowKit2Platform> platform) {
    IowKit2Layer().installedPlatform = std::move(platform);
}

void IowKit2InstallCarrier(std::unique_ptr<IowKit2Carrier> carrier) {
    IowKit2Layer().installedCarrier = std::move(carrier);
}

uint32_t IowKit2RegisterDeviceCallback(IowKit2DeviceCallback callback, void* context) {
    IowKit2LayerState& layer = IowKit2Layer();
    if (IowKit2OwnerBusy(layer)) {
        ++layer.refusedStarts;
        IowKit2SetLastError(kErrorBusy);
        return kErrorBusy;
    }
    IowKit2Shutdown();
    // Nothing runs now, so a newly installed platform or carrier can take over.
    if (layer.installedPlatform) {
        layer.platform = std::move(layer.installedPlatform);
    }
    if (layer.installedCarrier) {
        layer.carrier = std::move(layer.installedCarrier);
    }
    IowKit2SetLastError(kIowKit2Success);
    uint32_t code = layer.platform && layer.carrier ? kIowKit2Success : kErrorNotReady;
    if (code == kIowKit2Success) {
        layer.listLock = std::make_unique<std::recursive_mutex>();
        code = layer.carrier->Create();
    }
    if (code == kIowKit2Success) {
        code = layer.platform->Load();
        layer.platformLoaded = code == kIowKit2Success;
    }
    if (code == kIowKit2Success) {
        code = layer.platform->CreateHeap(kInitialHeapBytes);
        layer.heapCreated = code == kIowKit2Success;
    }
    if (code != kIowKit2Success) {
        IowKit2Shutdown();
        IowKit2SetLastError(code);
        return code;
    }
    layer.started = true;
    layer.deviceCallback = callback;
    layer.callbackContext = context;
    // Device changes the platform learns of itself reach the owner thread
    // through the carrier, as the broadcast does on Windows.
    layer.platform->SetDeviceChangeListener([] { IowKit2Layer().carrier->PostDeviceChange(); });
    // The first scan runs when the owner thread next dispatches.
    layer.carrier->PostDeviceChange();
    IowKit2SetLastError(kIowKit2Success);
    return kIowKit2Success;
}

void IowKit2Shutdown() {
    IowKit2LayerState& layer = IowKit2Layer();
    if (IowKit2OwnerBusy(layer)) {
        // The refresh, callback or announcement under way still uses the
        // records. Meanwhile the handles are invalid to the program and its
        // callbacks are not called: reports go to the queues.
        layer.shutdownDeferred = true;
        IowKit2SetLastError(kIowKit2Success);
        return;
    }
    layer.shutdownDeferred = false;
    layer.changeDeferred = false;
    layer.changeDuringRefresh = false;
    // Stopped before the devices close: the owner serves sent messages while
    // it waits for each reader, and a device change among them must not
    // refresh (and announce) in the middle of the shutdown.
    layer.started = false;
    layer.deviceCallback = nullptr;
    layer.callbackContext = nullptr;
    if (layer.platform) {
        layer.platform->SetDeviceChangeListener(nullptr);
    }
    // No callback may run while the devices close.
    RefuseHandOvers(layer.openList);
    RefuseHandOvers(layer.foundList);
    IowKit2FreeAll(layer.openList);
    IowKit2FreeAll(layer.foundList);
    layer.listLock.reset();
    if (layer.heapCreated) {
        layer.platform->DestroyHeap();
        layer.heapCreated = false;
    }
    if (layer.carrier && layer.carrier->IsCreated()) {
        layer.carrier->Destroy();
    }
    if (layer.platformLoaded) {
        layer.platform->Unload();
        layer.platformLoaded = false;
    }
    IowKit2SetLastError(kIowKit2Success);
}
