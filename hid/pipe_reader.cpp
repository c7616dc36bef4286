#include "hid/pipe_reader.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "hid/carrier.h"
#include "hid/layer_state.h"
#include "hid/report_queue.h"

namespace {

// Reader thread: hands the report to the owner thread when a claimed device
// has a callback on this pipe, and queues it when nobody consumed it.
void DeliverReport(IowKit2Device& device, unsigned pipe, const uint8_t* report, uint32_t size) {
    IowKit2Pipe& slot = device.pipes[pipe];
    bool wanted = false;
    {
        std::lock_guard lock(slot.callbackLock);
        wanted = slot.readCallback != nullptr && device.claimed.load() != 0;
        if (wanted) {
            std::memcpy(slot.lastReport.data(), report, kIowKit2ReportSize);
        }
    }
    int consumed = 0;
    IowKit2Carrier& carrier = *IowKit2Layer().carrier;
    if (wanted && carrier.IsCreated()) {
        consumed = carrier.HandOverReport(pipe, &device);
    }
    if (consumed == 0) {
        IowKit2QueueReport(device, pipe, report, size);
    }
}

void RunReader(IowKit2Device* device, unsigned pipe) {
    IowKit2Pipe& slot = device->pipes[pipe];
    IowKit2ReadPort& port = *slot.readPort;
    const uint32_t length = slot.hidCaps.inputReportLength;  // at most 64, checked when found
    uint8_t report[kIowKit2ReportSize];
    // Once set, a read that takes longer than the poll interval is cancelled
    // and issued again: a device that failed once may have stopped answering.
    bool readFailed = false;
    bool rescanAsked = false;
    for (;;) {
        std::memset(report, 0, sizeof report);
        port.BeginRead(report, length);
        for (bool reissue = false; !reissue;) {
            switch (port.WaitForReadOrStop(*slot.stopSignal, kIowKit2ReaderPollMs)) {
                case IowKit2WaitResult::kCompletion: {
                    uint32_t size = 0;
                    if (!port.GetReadResult(size)) {
                        readFailed = true;
                    } else if (size > 0) {
                        rescanAsked = false;
                        DeliverReport(*device, pipe, report,
                                      std::min<uint32_t>(size, kIowKit2ReportSize));
                    }
                    reissue = true;
                    break;
                }
                case IowKit2WaitResult::kStopped:
                    port.CancelPendingRead();
                    slot.stoppedSignal->Raise();
                    return;
                case IowKit2WaitResult::kTimeout:
                    if (!readFailed) {
                        break;  // keep the same read pending
                    }
                    [[fallthrough]];
                case IowKit2WaitResult::kFailed:
                    // Nothing for a poll interval after a failure: the device
                    // may have gone with no broadcast reaching the owner (a
                    // removal during sleep, say). One fresh scan per run of
                    // failures finds out, so the connection never stays dead.
                    readFailed = true;
                    if (!rescanAsked) {
                        rescanAsked = true;
                        IowKit2Layer().carrier->PostDeviceChange();
                    }
                    port.CancelPendingRead();
                    reissue = true;
                    break;
            }
        }
    }
}

}  // namespace

bool IowKit2OpenPipes(IowKit2Device& device) {
    IowKit2Platform& platform = *IowKit2Layer().platform;
    for (unsigned pipe = 0; pipe < kIowKit2PipeCount; ++pipe) {
        IowKit2Pipe& slot = device.pipes[pipe];
        for (IowKit2ReportBlock& block : slot.queue) {
            block.reset();
        }
        if (!slot.devicePath) {
            return false;
        }
        slot.readPort = platform.OpenReadPort(slot.devicePath.get());
        slot.writePort = platform.OpenWritePort(slot.devicePath.get());
        if (!slot.readPort || !slot.writePort) {
            return false;
        }
        slot.readPort->SetNumInputBuffers(kIowKit2PlatformInputBuffers);
        if (!IowKit2StartReader(device, pipe)) {
            return false;
        }
    }
    return true;
}

bool IowKit2StartReader(IowKit2Device& device, unsigned pipe) {
    IowKit2LayerState& layer = IowKit2Layer();
    IowKit2Pipe& slot = device.pipes[pipe];
    slot.stopping = false;
    slot.stopSignal = layer.platform->CreateSignal();
    slot.stoppedSignal = layer.carrier->CreateSignal();
    if (slot.stopSignal && slot.stoppedSignal && slot.readPort) {
        try {
            slot.readerThread = std::thread(RunReader, &device, pipe);
            return true;
        } catch (const std::system_error&) {
        }
    }
    IowKit2StopReader(device, pipe, true);
    return false;
}

void IowKit2StopReader(IowKit2Device& device, unsigned pipe, bool full) {
    IowKit2Pipe& slot = device.pipes[pipe];
    if (slot.readerThread.joinable()) {
        // First make the owner thread refuse this reader's hand-overs, then
        // wake it; serving hand-overs while waiting lets a reader that is
        // blocked in one get its answer and end.
        slot.stopping = true;
        slot.stopSignal->Raise();
        IowKit2Layer().carrier->WaitServingHandOvers(*slot.stoppedSignal);
        slot.readerThread.join();
    }
    slot.stopSignal.reset();
    slot.stoppedSignal.reset();
    if (full) {
        IowKit2ReleaseQueue(device, pipe);
    }
}

int IowKit2ServeReport(unsigned pipe, IowKit2Handle handle) {
    IowKit2Device* device = IowKit2FindDevice(handle);
    if (device == nullptr || pipe >= kIowKit2PipeCount || device->stateMark != kIowKit2LiveMark ||
        device->claimed.load() == 0) {
        return 0;
    }
    IowKit2Pipe& slot = device->pipes[pipe];
    if (slot.stopping) {
        return 0;
    }
    IowKit2ReadCallback callback = nullptr;
    void* context = nullptr;
    {
        std::lock_guard lock(slot.callbackLock);
        callback = slot.readCallback;
        context = slot.callbackContext;
    }
    if (callback == nullptr) {
        return 0;
    }
    // The reader waits for this answer, so lastReport stays as it is.
    IowKit2LayerState& layer = IowKit2Layer();
    ++layer.servingReports;
    const int consumed =
        callback(device, pipe, slot.lastReport.data(), slot.hidCaps.inputReportLength, context);
    --layer.servingReports;
    // A refresh or shutdown asked for inside the callback would wait for the
    // reader that waits for this answer: it runs at the next dispatch.
    if (layer.servingReports == 0 && !layer.refreshing &&
        (layer.changeDeferred || layer.shutdownDeferred)) {
        layer.carrier->PostDeviceChange();
    }
    return consumed;
}
