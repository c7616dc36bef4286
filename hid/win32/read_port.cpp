#include "hid/win32/read_port.h"

#include "hid/win32/cancel_io.h"
#include "hid/win32/event_signal.h"

IowKit2Win32ReadPort::IowKit2Win32ReadPort(
    iowkit2_win32::UniqueHandle file,
    decltype(IowKit2HidFunctions::HidD_SetNumInputBuffers) setNumInputBuffers)
    : file_(std::move(file)),
      setNumInputBuffers_(setNumInputBuffers),
      request_(std::make_unique<ReadRequest>()) {}

IowKit2Win32ReadPort::~IowKit2Win32ReadPort() {
    if (request_->inFlight && !CancelAndReap()) {
        // The read could not be cancelled from here: the kernel still owns the
        // request and will write into it, so it is left alive on purpose.
        static_cast<void>(request_.release());
    }
}

bool IowKit2Win32ReadPort::SetNumInputBuffers(uint32_t count) {
    return setNumInputBuffers_ && setNumInputBuffers_(file_.get(), count);
}

void IowKit2Win32ReadPort::BeginRead(uint8_t* buffer, uint32_t length) {
    if (request_->inFlight) {
        // An earlier read could not be cancelled and still fills the buffer;
        // a second read must not share its OVERLAPPED.
        return;
    }
    *request_ = ReadRequest{};
    readingThread_ = GetCurrentThreadId();
    request_->inFlight = ReadFileEx(file_.get(), buffer, length, &request_->ovlp, ReadCompleted);
}

void CALLBACK IowKit2Win32ReadPort::ReadCompleted(DWORD, DWORD, LPOVERLAPPED ovlp) {
    // Only marks the request; the reader fetches the result itself.
    auto* request = CONTAINING_RECORD(ovlp, ReadRequest, ovlp);
    request->inFlight = false;
    request->finished = true;
}

IowKit2WaitResult IowKit2Win32ReadPort::WaitForReadOrStop(IowKit2Signal& stop,
                                                          uint32_t milliseconds) {
    HANDLE stopEvent = IowKit2EventSignal::EventOf(stop);
    if (!stopEvent) {
        return IowKit2WaitResult::kFailed;
    }
    if (request_->finished) {
        return IowKit2WaitResult::kCompletion;
    }
    if (!request_->inFlight) {
        // The read could not be started: pause for the time limit (still
        // watching the stop signal), then report a failure so that the
        // reader issues a new read instead of waiting for nothing.
        return WaitForSingleObject(stopEvent, milliseconds) == WAIT_OBJECT_0
                   ? IowKit2WaitResult::kStopped
                   : IowKit2WaitResult::kFailed;
    }
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        DWORD limit = milliseconds;
        if (milliseconds != INFINITE) {
            const ULONGLONG elapsed = GetTickCount64() - start;
            limit = elapsed >= milliseconds ? 0 : static_cast<DWORD>(milliseconds - elapsed);
        }
        switch (WaitForSingleObjectEx(stopEvent, limit, TRUE)) {
            case WAIT_IO_COMPLETION:
                if (request_->finished) {
                    return IowKit2WaitResult::kCompletion;
                }
                break;  // some other completion ran on this thread: wait on
            case WAIT_OBJECT_0:
                return IowKit2WaitResult::kStopped;
            case WAIT_TIMEOUT:
                return IowKit2WaitResult::kTimeout;
            default:
                return IowKit2WaitResult::kFailed;
        }
    }
}

bool IowKit2Win32ReadPort::GetReadResult(uint32_t& size) {
    if (!request_->finished) {
        return false;
    }
    DWORD transferred = 0;
    if (!GetOverlappedResult(file_.get(), &request_->ovlp, &transferred, TRUE)) {
        return false;
    }
    size = transferred;
    return true;
}

void IowKit2Win32ReadPort::CancelPendingRead() {
    if (request_->inFlight) {
        CancelAndReap();
    }
}

bool IowKit2Win32ReadPort::CancelAndReap() {
    // CancelIo reaches only the calling thread's I/O, and the completion runs
    // only on the thread that started the read.
    if (GetCurrentThreadId() != readingThread_ || !IowKit2CancelIo(file_.get())) {
        return false;
    }
    while (request_->inFlight) {
        SleepEx(INFINITE, TRUE);
    }
    return true;
}
