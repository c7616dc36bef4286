// Overlapped reads and writes of the Win32 ports, against named pipes
// standing in for the interfaces' device paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "hid/win32/win32_platform.h"

namespace {

constexpr uint32_t kTimeout = 1460;  // ERROR_TIMEOUT
constexpr uint32_t kNoLimit = 0xFFFFFFFF;

HANDLE setNumInputBuffersHandle = nullptr;
ULONG setNumInputBuffersCount = 0;

BOOLEAN NTAPI StandInSetNumInputBuffers(HANDLE file, ULONG count) {
    setNumInputBuffersHandle = file;
    setNumInputBuffersCount = count;
    return TRUE;
}

// The attributes query on an open handle: answers, or fails with this code.
HANDLE getAttributesHandle = nullptr;
DWORD getAttributesError = ERROR_SUCCESS;

BOOLEAN NTAPI StandInGetAttributes(HANDLE file, PHIDD_ATTRIBUTES hidAttr) {
    getAttributesHandle = file;
    if (getAttributesError != ERROR_SUCCESS) {
        SetLastError(getAttributesError);
        return FALSE;
    }
    hidAttr->VendorID = 0x1214;
    hidAttr->ProductID = 0x03EB;
    return TRUE;
}

// Only the read port's buffer request reaches the HID library here; the rest
// of the table just has to be present.
IowKit2HidFunctions PipeFunctions() {
    IowKit2HidFunctions f;
    f.HidD_SetNumInputBuffers = StandInSetNumInputBuffers;
    f.HidD_GetAttributes = StandInGetAttributes;
    f.HidD_GetHidGuid = [](LPGUID) {};
    f.HidD_GetPreparsedData = [](HANDLE, PHIDP_PREPARSED_DATA*) -> BOOLEAN { return FALSE; };
    f.HidP_GetCaps = [](PHIDP_PREPARSED_DATA, PHIDP_CAPS) -> NTSTATUS { return 0; };
    f.HidD_FreePreparsedData = [](PHIDP_PREPARSED_DATA) -> BOOLEAN { return TRUE; };
    f.HidD_GetNumInputBuffers = [](HANDLE, PULONG) -> BOOLEAN { return FALSE; };
    f.HidD_GetSerialNumberString = [](HANDLE, PVOID, ULONG) -> BOOLEAN { return FALSE; };
    f.HidD_GetIndexedString = [](HANDLE, ULONG, PVOID, ULONG) -> BOOLEAN { return FALSE; };
    f.CM_Get_Parent = [](PDEVINST, DEVINST, ULONG) -> CONFIGRET { return CR_FAILURE; };
    f.SetupDiGetDeviceInterfaceDetailA = [](HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                            PSP_DEVICE_INTERFACE_DETAIL_DATA_A, DWORD, PDWORD,
                                            PSP_DEVINFO_DATA) -> WINBOOL { return FALSE; };
    f.SetupDiGetClassDevsA = [](const GUID*, PCSTR, HWND, DWORD) -> HDEVINFO {
        return INVALID_HANDLE_VALUE;
    };
    f.SetupDiEnumDeviceInterfaces = [](HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD,
                                       PSP_DEVICE_INTERFACE_DATA) -> WINBOOL { return FALSE; };
    f.SetupDiDestroyDeviceInfoList = [](HDEVINFO) -> WINBOOL { return TRUE; };
    return f;
}

// The server end of a message-mode named pipe; the ports open the client end.
class PipeServer {
  public:
    PipeServer(DWORD direction, DWORD bufferBytes) {
        static int counter = 0;
        path_ = "\\\\.\\pipe\\iowkit2-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        pipe_ = CreateNamedPipeA(path_.c_str(), direction, PIPE_TYPE_MESSAGE | PIPE_WAIT, 1,
                                 bufferBytes, bufferBytes, 0, nullptr);
        EXPECT_NE(pipe_, INVALID_HANDLE_VALUE);
    }
    ~PipeServer() { Close(); }

    const std::string& Path() const { return path_; }
    void Send(const uint8_t* data, DWORD length) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(pipe_, data, length, &written, nullptr));
        ASSERT_EQ(written, length);
    }
    DWORD Receive(uint8_t* data, DWORD length) {
        DWORD read = 0;
        EXPECT_TRUE(ReadFile(pipe_, data, length, &read, nullptr));
        return read;
    }
    void Close() {
        if (pipe_ != INVALID_HANDLE_VALUE) {
            CloseHandle(pipe_);
            pipe_ = INVALID_HANDLE_VALUE;
        }
    }

  private:
    std::string path_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
};

class PipeIo : public ::testing::Test {
  protected:
    IowKit2Win32Platform platform_{PipeFunctions()};
};

TEST_F(PipeIo, ReadsReportsInOrderAndKeepsOneReadPendingAcrossTimeouts) {
    PipeServer server(PIPE_ACCESS_OUTBOUND, 4096);
    auto port = platform_.OpenReadPort(server.Path());
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->SetNumInputBuffers(128));
    EXPECT_EQ(setNumInputBuffersCount, 128u);
    EXPECT_NE(setNumInputBuffersHandle, nullptr);
    auto stop = platform_.CreateSignal();
    ASSERT_NE(stop, nullptr);

    uint8_t report[64] = {};
    port->BeginRead(report, 8);
    EXPECT_EQ(port->WaitForReadOrStop(*stop, 20), IowKit2WaitResult::kTimeout);

    // The same read, still pending, takes the next report.
    const uint8_t first[8] = {9, 2, 0, 1, 0, 0, 0, 0};
    const uint8_t second[8] = {9, 4, 11, 2, 2, 0, 0, 0};
    server.Send(first, 8);
    server.Send(second, 8);
    ASSERT_EQ(port->WaitForReadOrStop(*stop, 5000), IowKit2WaitResult::kCompletion);
    uint32_t size = 0;
    ASSERT_TRUE(port->GetReadResult(size));
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(memcmp(report, first, 8), 0);

    memset(report, 0, sizeof(report));
    port->BeginRead(report, 8);
    ASSERT_EQ(port->WaitForReadOrStop(*stop, 5000), IowKit2WaitResult::kCompletion);
    ASSERT_TRUE(port->GetReadResult(size));
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(memcmp(report, second, 8), 0);
    EXPECT_EQ(report[8], 0);  // nothing beyond the read's length
}

TEST_F(PipeIo, StopEndsTheWaitAndTheCancelledReadIsReapedUntouched) {
    PipeServer server(PIPE_ACCESS_OUTBOUND, 4096);
    auto port = platform_.OpenReadPort(server.Path());
    ASSERT_NE(port, nullptr);
    auto stop = platform_.CreateSignal();

    uint8_t cancelled[64];
    memset(cancelled, 0xEE, sizeof(cancelled));
    port->BeginRead(cancelled, 8);
    stop->Raise();
    EXPECT_TRUE(stop->IsRaised());
    EXPECT_EQ(port->WaitForReadOrStop(*stop, 5000), IowKit2WaitResult::kStopped);
    port->CancelPendingRead();
    // The completion has run inside the cancel: nothing is left to run now.
    EXPECT_EQ(SleepEx(0, TRUE), 0u);

    // A report sent after the cancel goes to the next read, not the old buffer.
    const uint8_t answer[8] = {9, 2, 3, 0, 0, 0, 0, 0};
    server.Send(answer, 8);
    auto running = platform_.CreateSignal();
    uint8_t report[64] = {};
    port->BeginRead(report, 8);
    ASSERT_EQ(port->WaitForReadOrStop(*running, 5000), IowKit2WaitResult::kCompletion);
    uint32_t size = 0;
    ASSERT_TRUE(port->GetReadResult(size));
    EXPECT_EQ(memcmp(report, answer, 8), 0);
    for (uint8_t byte : cancelled) {
        ASSERT_EQ(byte, 0xEE);
    }
}

TEST_F(PipeIo, CancelAfterTimeoutThenReissue) {
    PipeServer server(PIPE_ACCESS_OUTBOUND, 4096);
    auto port = platform_.OpenReadPort(server.Path());
    ASSERT_NE(port, nullptr);
    auto stop = platform_.CreateSignal();
    uint8_t report[64] = {};
    for (int round = 0; round < 3; ++round) {
        port->BeginRead(report, 8);
        ASSERT_EQ(port->WaitForReadOrStop(*stop, 10), IowKit2WaitResult::kTimeout);
        port->CancelPendingRead();
    }
    const uint8_t answer[8] = {9, 3, 1, 0, 0, 0, 0, 0};
    server.Send(answer, 8);
    port->BeginRead(report, 8);
    ASSERT_EQ(port->WaitForReadOrStop(*stop, 5000), IowKit2WaitResult::kCompletion);
    uint32_t size = 0;
    ASSERT_TRUE(port->GetReadResult(size));
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(memcmp(report, answer, 8), 0);
}

TEST_F(PipeIo, VanishedDeviceFailsTheReadAndARefusedStartIsRetriedAfterTheLimit) {
    PipeServer server(PIPE_ACCESS_OUTBOUND, 4096);
    auto port = platform_.OpenReadPort(server.Path());
    ASSERT_NE(port, nullptr);
    auto stop = platform_.CreateSignal();
    uint8_t report[64] = {};
    port->BeginRead(report, 8);
    server.Close();
    ASSERT_EQ(port->WaitForReadOrStop(*stop, 5000), IowKit2WaitResult::kCompletion);
    uint32_t size = 0;
    EXPECT_FALSE(port->GetReadResult(size));

    // Reads on the broken pipe are refused at once: the wait reports a
    // failure after its time limit instead of waiting for a read that
    // never started, and still sees the stop signal.
    port->BeginRead(report, 8);
    EXPECT_EQ(port->WaitForReadOrStop(*stop, 20), IowKit2WaitResult::kFailed);
    port->CancelPendingRead();
    port->BeginRead(report, 8);
    stop->Raise();
    EXPECT_EQ(port->WaitForReadOrStop(*stop, 5000), IowKit2WaitResult::kStopped);
}

TEST_F(PipeIo, OpeningAMissingPathGivesNoPort) {
    EXPECT_EQ(platform_.OpenReadPort("\\\\.\\pipe\\iowkit2-test-not-there"), nullptr);
    EXPECT_EQ(platform_.OpenWritePort("\\\\.\\pipe\\iowkit2-test-not-there"), nullptr);
}

TEST_F(PipeIo, WritesReportsAndReportsFailures) {
    PipeServer server(PIPE_ACCESS_INBOUND, 4096);
    auto port = platform_.OpenWritePort(server.Path());
    ASSERT_NE(port, nullptr);

    const uint8_t setPort[8] = {9, 4, 11, 2, 2, 0, 0, 0};
    EXPECT_EQ(port->Write(setPort, 8, kNoLimit), 0u);
    uint8_t received[64] = {};
    ASSERT_EQ(server.Receive(received, sizeof(received)), 8u);
    EXPECT_EQ(memcmp(received, setPort, 8), 0);

    // Nothing written counts as a failed write.
    EXPECT_EQ(port->Write(setPort, 0, kNoLimit), kTimeout);

    // A write the platform refuses to start gives the platform's code.
    server.Close();
    EXPECT_EQ(port->Write(setPort, 8, kNoLimit), 232u);  // ERROR_NO_DATA
}

TEST_F(PipeIo, AWritePortTellsWhenItsDeviceIsNotConnected) {
    PipeServer server(PIPE_ACCESS_INBOUND, 4096);
    auto port = platform_.OpenWritePort(server.Path());
    ASSERT_NE(port, nullptr);
    getAttributesError = ERROR_SUCCESS;
    EXPECT_FALSE(port->DeviceGone());
    EXPECT_NE(getAttributesHandle, nullptr);  // asked on the port's own handle
    // A handle that no longer answers is gone, whatever the code: Wine says
    // access denied for a removed device.
    getAttributesError = ERROR_ACCESS_DENIED;
    EXPECT_TRUE(port->DeviceGone());
    getAttributesError = ERROR_DEVICE_NOT_CONNECTED;
    EXPECT_TRUE(port->DeviceGone());
    getAttributesError = ERROR_SUCCESS;
}

TEST_F(PipeIo, WriteWithoutLimitWaitsUntilTheDeviceTakesIt) {
    PipeServer server(PIPE_ACCESS_INBOUND, 1);
    auto port = platform_.OpenWritePort(server.Path());
    ASSERT_NE(port, nullptr);
    uint8_t received[64] = {};
    DWORD receivedBytes = 0;
    std::thread device([&] {
        Sleep(50);
        receivedBytes = server.Receive(received, sizeof(received));
    });
    uint8_t report[64] = {8, 1, 2, 3};
    EXPECT_EQ(port->Write(report, 64, kNoLimit), 0u);
    device.join();
    EXPECT_EQ(receivedBytes, 64u);
    EXPECT_EQ(memcmp(received, report, 64), 0);
}

TEST_F(PipeIo, TimedOutWriteIsCancelledAndReapedBeforeItReturns) {
    // A one-byte pipe buffer and a server that does not read: the write
    // cannot complete.
    PipeServer server(PIPE_ACCESS_INBOUND, 1);
    auto port = platform_.OpenWritePort(server.Path());
    ASSERT_NE(port, nullptr);

    uint8_t report[64] = {8, 0xAA};
    EXPECT_EQ(port->Write(report, 64, 30), kTimeout);
    // Its completion has already run: no completion is left for this thread.
    EXPECT_EQ(SleepEx(0, TRUE), 0u);

    // The port stays usable once the device reads again.
    uint8_t received[64] = {};
    DWORD receivedBytes = 0;
    std::thread device([&] { receivedBytes = server.Receive(received, sizeof(received)); });
    uint8_t next[64] = {8, 0xBB};
    EXPECT_EQ(port->Write(next, 64, kNoLimit), 0u);
    device.join();
    EXPECT_EQ(receivedBytes, 64u);
    EXPECT_EQ(received[1], 0xBB);
}

}  // namespace
