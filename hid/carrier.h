// How the HID layer reaches its owner thread (the thread that started it):
// a reader hands each report over and waits for the read callback's result,
// and device changes run a refresh there. On Windows it is the hidden window
// "IowKit2ThreadMessageWindow"; native tests use a small owner loop.
#pragma once

#include <cstdint>
#include <memory>

#include "hid/iowkit2.h"
#include "hid/platform.h"

class IowKit2Carrier {
  public:
    virtual ~IowKit2Carrier() = default;

    // Owner thread, at the layer's start: 0, or the platform's error code.
    virtual uint32_t Create() = 0;
    virtual void Destroy() = 0;
    virtual bool IsCreated() const = 0;

    // Any thread: has IowKit2DevicesChanged run when the owner thread next
    // dispatches its messages, never inside this call.
    virtual void PostDeviceChange() = 0;

    // Reader thread: runs IowKit2ServeReport(pipe, device) on the owner thread
    // and returns its answer; blocks until then.
    virtual int HandOverReport(unsigned pipe, IowKit2Handle device) = 0;

    // Signals the owner thread can wait on with WaitServingHandOvers.
    virtual std::unique_ptr<IowKit2Signal> CreateSignal() = 0;
    // Owner thread: waits until signal (made by CreateSignal) is raised,
    // serving the hand-overs that arrive meanwhile, so that a reader blocked
    // in HandOverReport can always finish.
    virtual void WaitServingHandOvers(IowKit2Signal& signal) = 0;
};

// Installs the carrier the layer uses from its next start on.
void IowKit2InstallCarrier(std::unique_ptr<IowKit2Carrier> carrier);

// Run by a carrier on the owner thread.
// The report message: runs the pipe's read callback and returns its result,
// or 0 when the device is not live and claimed, has no callback, or its
// reader is being stopped (the report then goes to the queue).
int IowKit2ServeReport(unsigned pipe, IowKit2Handle device);
// The device-change broadcast "devices changed": refreshes unless a refresh
// is already running.
void IowKit2DevicesChanged();
