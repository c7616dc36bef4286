// The HID layer's platform on Windows: the device-setup enumeration and the
// HID queries through the looked-up function table, pipes as overlapped file
// handles, manual-reset events as signals and a private Win32 heap.
#pragma once

#include <windows.h>

#include "hid/platform.h"
#include "hid/win32/hid_functions.h"
#include "hid/win32/unique_handles.h"

class IowKit2Win32Platform final : public IowKit2Platform {
  public:
    // Load() fills the function table from the platform's libraries.
    IowKit2Win32Platform() = default;
    // Uses the given functions (stand-ins in tests); Load() is then not needed.
    explicit IowKit2Win32Platform(const IowKit2HidFunctions& functions) : functions_(functions) {}

    uint32_t Load() override;
    void Unload() override;

    bool VisitHidInterfaces(
        const std::function<void(const IowKit2InterfaceEntry&)>& visit) override;
    std::optional<uint32_t> GetParent(uint32_t node) override;
    std::unique_ptr<IowKit2Probe> OpenProbe(const std::string& devicePath) override;
    std::unique_ptr<IowKit2ReadPort> OpenReadPort(const std::string& devicePath) override;
    std::unique_ptr<IowKit2WritePort> OpenWritePort(const std::string& devicePath) override;
    std::unique_ptr<IowKit2Signal> CreateSignal() override;

    uint32_t CreateHeap(size_t initialBytes) override;
    void DestroyHeap() override;
    void* HeapAllocate(size_t bytes) override;
    void HeapRelease(void* block) override;

  private:
    // All fourteen functions are there (looked up or given).
    bool IsLoaded() const;

    IowKit2HidLibraries libraries_;
    IowKit2HidFunctions functions_;
    iowkit2_win32::UniqueHeap heap_;
};
