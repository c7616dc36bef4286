// The owner-thread carrier on Windows: the hidden window
// "IowKit2ThreadMessageWindow" of class "IowKit2WndClass", created on the
// owner thread. Device changes arrive as WM_DEVICECHANGE broadcasts; reader
// threads hand reports over with SendMessageA and wait for the answer.
#pragma once

#include <windows.h>

#include <atomic>

#include "hid/carrier.h"
#include "hid/win32/unique_handles.h"

inline constexpr char kIowKit2WndClass[] = "IowKit2WndClass";
inline constexpr char kIowKit2WindowName[] = "IowKit2ThreadMessageWindow";
// WM_DEVICECHANGE and its event "device nodes changed" (DBT_DEVNODES_CHANGED).
inline constexpr UINT kIowKit2DeviceChangeMessage = 0x0219;
inline constexpr WPARAM kIowKit2DevNodesChanged = 7;
// The report hand-over: wParam the pipe, lParam the device handle.
inline constexpr UINT kIowKit2ReportMessage = 0x0400;  // WM_USER

// Runs the device-change refresh and the report hand-over on the owner thread.
LRESULT CALLBACK IowKit2WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Whether a reader waits for the owner thread to take its report; a look at
// memory, no call into the system.
bool IowKit2HandOverWaiting();

class IowKit2WindowCarrier final : public IowKit2Carrier {
  public:
    ~IowKit2WindowCarrier() override { Destroy(); }

    uint32_t Create() override;
    void Destroy() override;
    bool IsCreated() const override { return window_.load() != nullptr; }

    // Safe from any thread: a simulated bus reports its changes from its own.
    void PostDeviceChange() override;
    int HandOverReport(unsigned pipe, IowKit2Handle device) override;

    std::unique_ptr<IowKit2Signal> CreateSignal() override;
    void WaitServingHandOvers(IowKit2Signal& signal) override;

  private:
    iowkit2_win32::UniqueWindow ownedWindow_;
    // Read by reader threads while the owner thread owns the window.
    std::atomic<HWND> window_{nullptr};
};
