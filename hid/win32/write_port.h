// A pipe's write handle for overlapped writes with WriteFileEx, used on the
// owner thread. A write that has not finished when its wait ends is cancelled
// and its completion awaited before Write returns, so the completion never
// runs after the call's writeInfo and the caller's buffer are gone.
#pragma once

#include <windows.h>

#include "hid/platform.h"
#include "hid/win32/hid_functions.h"
#include "hid/win32/unique_handles.h"

class IowKit2Win32WritePort final : public IowKit2WritePort {
  public:
    // getAttributes (may be null) answers whether the device is still there.
    IowKit2Win32WritePort(iowkit2_win32::UniqueHandle file,
                          decltype(IowKit2HidFunctions::HidD_GetAttributes) getAttributes)
        : file_(std::move(file)), getAttributes_(getAttributes) {}

    uint32_t Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) override;
    // Asks the handle for the device's attributes: an answer served by the
    // HID class driver without any transfer to the device.
    bool DeviceGone() override;

  private:
    iowkit2_win32::UniqueHandle file_;
    decltype(IowKit2HidFunctions::HidD_GetAttributes) getAttributes_;
};
