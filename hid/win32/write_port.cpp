#include "hid/win32/write_port.h"

#include "hid/iowkit2.h"
#include "hid/win32/cancel_io.h"

namespace {

// One per write call; the OVERLAPPED's event field points back at it so that
// the completion routine can find it.
struct WriteInfo {
    OVERLAPPED ovlp;
    HANDLE file;
    bool success;
    bool completed;
};

void CALLBACK WriteCompleted(DWORD error, DWORD, LPOVERLAPPED ovlp) {
    auto* writeInfo = static_cast<WriteInfo*>(ovlp->hEvent);
    DWORD numWritten = 0;
    writeInfo->success = error == ERROR_SUCCESS &&
                         GetOverlappedResult(writeInfo->file, ovlp, &numWritten, FALSE) &&
                         numWritten != 0;
    writeInfo->completed = true;
}

// Waits alertably until the completion ran or timeoutMs passed.
void WaitForCompletion(const WriteInfo& writeInfo, DWORD timeoutMs) {
    const ULONGLONG start = GetTickCount64();
    while (!writeInfo.completed) {
        DWORD limit = timeoutMs;
        if (timeoutMs != INFINITE) {
            const ULONGLONG elapsed = GetTickCount64() - start;
            if (elapsed >= timeoutMs) {
                return;
            }
            limit = static_cast<DWORD>(timeoutMs - elapsed);
        }
        if (SleepEx(limit, TRUE) != WAIT_IO_COMPLETION) {
            return;
        }
    }
}

}  // namespace

uint32_t IowKit2Win32WritePort::Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) {
    WriteInfo writeInfo{};
    writeInfo.file = file_.get();
    writeInfo.ovlp.hEvent = &writeInfo;
    if (!WriteFileEx(file_.get(), data, length, &writeInfo.ovlp, WriteCompleted)) {
        // Refused: no completion will come. A refusal without a proper code
        // still counts as a failed write.
        const DWORD code = GetLastError();
        return code == ERROR_SUCCESS || code == ERROR_IO_PENDING ? kIowKit2ErrorTimeout : code;
    }
    WaitForCompletion(writeInfo, timeoutMs);
    if (!writeInfo.completed) {
        // Cancel this thread's write, then wait for its completion: until it
        // has run, the kernel may still read data and write into writeInfo.
        // Should the cancel be impossible, the write is awaited to its end.
        IowKit2CancelIo(file_.get());
        while (!writeInfo.completed) {
            SleepEx(INFINITE, TRUE);
        }
    }
    // A write that finished successfully while being cancelled did reach
    // the device.
    return writeInfo.success ? kIowKit2Success : kIowKit2ErrorTimeout;
}

bool IowKit2Win32WritePort::DeviceGone() {
    if (!getAttributes_) {
        return false;
    }
    HIDD_ATTRIBUTES hidAttr{};
    hidAttr.Size = sizeof(hidAttr);
    // A handle that no longer answers is on a device that went, whatever the
    // code: Windows says 1167, Wine says 5 (access denied) for a removed device.
    return !getAttributes_(file_.get(), &hidAttr);
}
