// A pipe's write handle for overlapped writes with WriteFileEx, used on the
// owner thread. A write that has not finished when its wait ends is cancelled
// and its completion awaited before Write returns, so the completion never
// runs after the call's writeInfo and the caller's buffer are gone.
#pragma once

#include <windows.h>

#include "hid/platform.h"
#include "hid/win32/unique_handles.h"

class IowKit2Win32WritePort final : public IowKit2WritePort {
  public:
    explicit IowKit2Win32WritePort(iowkit2_win32::UniqueHandle file) : file_(std::move(file)) {}

    uint32_t Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) override;

  private:
    iowkit2_win32::UniqueHandle file_;
};
