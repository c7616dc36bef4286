// The layer's state, one per process. The owner thread changes it; reader
// threads only use the platform and the carrier, which stay put while any
// reader runs.
#pragma once

#include <memory>
#include <mutex>

#include "hid/carrier.h"
#include "hid/device_record.h"
#include "hid/platform.h"

struct IowKit2LayerState {
    // Installed for the next start; taken over by it.
    std::unique_ptr<IowKit2Platform> installedPlatform;
    std::unique_ptr<IowKit2Carrier> installedCarrier;
    // In use.
    std::unique_ptr<IowKit2Platform> platform;
    std::unique_ptr<IowKit2Carrier> carrier;

    bool started = false;
    bool platformLoaded = false;
    bool heapCreated = false;
    IowKit2DeviceCallback deviceCallback = nullptr;
    void* callbackContext = nullptr;
    std::unique_ptr<std::recursive_mutex> listLock;
    bool refreshing = false;
    // Read callbacks running on the owner thread, nested ones included.
    int servingReports = 0;
    // Announcements of unclaimed devices under way, nested ones included.
    int announcing = 0;
    // A device change asked for inside a read callback, and a shutdown asked
    // for inside a read callback, a refresh or an announcement: each is done
    // once the owner thread is out (see IowKit2DevicesChanged). From the
    // moment a shutdown is asked for, the program's handles are invalid and
    // no callback reaches it.
    bool changeDeferred = false;
    bool shutdownDeferred = false;
    // A device change seen while a refresh ran: that refresh may have looked
    // before the change, so one more follows it.
    bool changeDuringRefresh = false;
    // Starts refused because the owner thread was busy; an announcement
    // offers nothing more once one was asked for during it.
    unsigned refusedStarts = 0;
    IowKit2DeviceList openList;
    IowKit2DeviceList foundList;
};

IowKit2LayerState& IowKit2Layer();

// The owner thread is inside a refresh, a read callback or an announcement:
// the records in use there must not be released under it.
inline bool IowKit2OwnerBusy(const IowKit2LayerState& layer) {
    return layer.refreshing || layer.servingReports > 0 || layer.announcing > 0;
}
