// An interface opened (without overlapped I/O) for the enumeration's
// attribute, capability and string queries.
#pragma once

#include "hid/platform.h"
#include "hid/win32/hid_functions.h"
#include "hid/win32/unique_handles.h"

class IowKit2Win32Probe final : public IowKit2Probe {
  public:
    IowKit2Win32Probe(iowkit2_win32::UniqueHandle file, const IowKit2HidFunctions& functions)
        : file_(std::move(file)), functions_(functions) {}

    std::optional<IowKit2HidAttributes> GetAttributes() override;
    // None unless the preparsed data was had and HidP_GetCaps succeeded.
    std::optional<IowKit2HidCaps> GetCaps() override;
    bool GetSerialNumberString(void* buffer, uint32_t byteLength) override;
    bool GetIndexedString(uint32_t index, void* buffer, uint32_t byteLength) override;

  private:
    iowkit2_win32::UniqueHandle file_;
    const IowKit2HidFunctions& functions_;
};
