// A pipe's read handle for overlapped reads with ReadFileEx. The reader
// thread begins each read, waits alertably for its completion or the stop
// signal, and cancels its own read; a cancelled read is always reaped (its
// completion seen) before the buffer or the OVERLAPPED can be reused.
#pragma once

#include <windows.h>

#include <memory>

#include "hid/platform.h"
#include "hid/win32/hid_functions.h"
#include "hid/win32/unique_handles.h"

class IowKit2Win32ReadPort final : public IowKit2ReadPort {
  public:
    IowKit2Win32ReadPort(iowkit2_win32::UniqueHandle file,
                         decltype(IowKit2HidFunctions::HidD_SetNumInputBuffers) setNumInputBuffers);
    ~IowKit2Win32ReadPort() override;

    bool SetNumInputBuffers(uint32_t count) override;
    void BeginRead(uint8_t* buffer, uint32_t length) override;
    IowKit2WaitResult WaitForReadOrStop(IowKit2Signal& stop, uint32_t milliseconds) override;
    bool GetReadResult(uint32_t& size) override;
    void CancelPendingRead() override;

  private:
    // Lives on the heap so that it can outlive the port if the platform
    // cannot cancel a read (the kernel writes into it on completion).
    struct ReadRequest {
        OVERLAPPED ovlp;
        bool inFlight;  // started, completion not yet run
        bool finished;  // the completion of the latest read has run
    };
    static void CALLBACK ReadCompleted(DWORD error, DWORD bytes, LPOVERLAPPED ovlp);
    bool CancelAndReap();

    iowkit2_win32::UniqueHandle file_;
    decltype(IowKit2HidFunctions::HidD_SetNumInputBuffers) setNumInputBuffers_;
    std::unique_ptr<ReadRequest> request_;
    DWORD readingThread_ = 0;
};
