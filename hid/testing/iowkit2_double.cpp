#include "hid/testing/iowkit2_double.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

IowKit2Double* active = nullptr;

const char* OperationName(IowKit2Double::Operation operation) {
    using Operation = IowKit2Double::Operation;
    switch (operation) {
        case Operation::RegisterDeviceCallback:
            return "RegisterDeviceCallback";
        case Operation::AnnounceUnclaimed:
            return "AnnounceUnclaimed";
        case Operation::Shutdown:
            return "Shutdown";
        case Operation::GetProductId:
            return "GetProductId";
        case Operation::GetRevision:
            return "GetRevision";
        case Operation::GetSerialNumber:
            return "GetSerialNumber";
        case Operation::SetClaimed:
            return "SetClaimed";
        case Operation::SetReadCallback:
            return "SetReadCallback";
        case Operation::Write:
            return "Write";
    }
    return "?";
}

}  // namespace

IowKit2Double::IowKit2Double() : previous_(active) {
    active = this;
}

IowKit2Double::~IowKit2Double() {
    active = previous_;
}

IowKit2Double* IowKit2Double::Active() {
    return active;
}

// --- Test-side API -----------------------------------------------------------

IowKit2Handle IowKit2Double::AddDevice(const DeviceInfo& info) {
    devices_.push_back(std::make_unique<Device>());
    devices_.back()->info = info;
    // Handles are opaque to the program; the double hands out its own records.
    return reinterpret_cast<IowKit2Handle>(devices_.back().get());
}

IowKit2Handle IowKit2Double::Plug(const DeviceInfo& info) {
    IowKit2Handle device = AddDevice(info);
    AnnounceArrival(device);
    return device;
}

void IowKit2Double::Unplug(IowKit2Handle device) {
    Device& record = Get(device);
    record.open = false;
    AnnounceRemoval(device);
    ReleaseIfUnclaimedAndClosed(record);
}

void IowKit2Double::AnnounceArrival(IowKit2Handle device) {
    if (started_ && deviceCallback_ != nullptr) {
        deviceCallback_(kIowKit2Arrival, device, deviceContext_);
    }
}

void IowKit2Double::AnnounceRemoval(IowKit2Handle device) {
    if (started_ && deviceCallback_ != nullptr) {
        deviceCallback_(kIowKit2Removal, device, deviceContext_);
    }
}

bool IowKit2Double::IsValid(IowKit2Handle device) const {
    return Find(device) != nullptr;
}

bool IowKit2Double::IsOpen(IowKit2Handle device) const {
    const Device* record = Find(device);
    return record != nullptr && record->open;
}

bool IowKit2Double::IsClaimed(IowKit2Handle device) const {
    const Device* record = Find(device);
    return record != nullptr && record->claimed;
}

IowKit2ReadCallback IowKit2Double::ReadCallback(IowKit2Handle device, unsigned pipe) const {
    return Get(device).pipes.at(pipe).callback;
}

void* IowKit2Double::ReadCallbackContext(IowKit2Handle device, unsigned pipe) const {
    return Get(device).pipes.at(pipe).context;
}

std::optional<int> IowKit2Double::DeliverReport(IowKit2Handle device, unsigned pipe,
                                                const std::vector<uint8_t>& report) {
    Device& record = Get(device);
    Pipe& target = record.pipes.at(pipe);
    if (!record.open) {
        return std::nullopt;
    }
    // Input reports have the pipe's fixed length; the buffer is always 64 bytes.
    const unsigned length = std::min(record.info.inputReportLength[pipe], kIowKit2ReportSize);
    std::array<uint8_t, kIowKit2ReportSize> buffer{};
    std::copy_n(report.begin(), std::min<size_t>(report.size(), length), buffer.begin());
    std::vector<uint8_t> received(buffer.begin(), buffer.begin() + length);

    if (!record.claimed || target.callback == nullptr) {
        target.queue.push_back(std::move(received));
        return std::nullopt;
    }
    const int consumed = target.callback(device, pipe, buffer.data(), length, target.context);
    if (consumed == 0) {
        target.queue.push_back(std::move(received));
    }
    return consumed;
}

void IowKit2Double::PostReport(IowKit2Handle device, unsigned pipe, std::vector<uint8_t> report) {
    Get(device);  // fail early on a handle the double never gave out
    pending_.push_back({device, pipe, std::move(report)});
}

size_t IowKit2Double::DispatchReports() {
    size_t delivered = 0;
    // A callback may post further reports; they are delivered in this round too.
    while (!pending_.empty()) {
        PendingReport next = std::move(pending_.front());
        pending_.pop_front();
        if (IsValid(next.device)) {
            DeliverReport(next.device, next.pipe, next.report);
            ++delivered;
        }
    }
    return delivered;
}

const std::deque<std::vector<uint8_t>>& IowKit2Double::QueuedReports(IowKit2Handle device,
                                                                     unsigned pipe) const {
    return Get(device).pipes.at(pipe).queue;
}

std::vector<std::vector<uint8_t>> IowKit2Double::WrittenBytes(IowKit2Handle device) const {
    std::vector<std::vector<uint8_t>> bytes;
    for (const WriteRecord& write : writes_) {
        if (device == nullptr || write.device == device) {
            bytes.push_back(write.bytes);
        }
    }
    return bytes;
}

std::vector<std::string> IowKit2Double::CallNames() const {
    std::vector<std::string> names;
    for (const Call& call : calls_) {
        std::string name = OperationName(call.operation);
        switch (call.operation) {
            case Operation::SetClaimed:
                name += " " + std::to_string(call.value);
                break;
            case Operation::SetReadCallback:
                name += " " + std::to_string(call.pipe) + (call.value != 0 ? " on" : " off");
                break;
            case Operation::Write:
                name += " " + std::to_string(call.pipe) + ":";
                for (uint8_t byte : call.bytes) {
                    name += " " + std::to_string(byte);
                }
                break;
            default:
                break;
        }
        names.push_back(std::move(name));
    }
    return names;
}

void IowKit2Double::FailNext(Operation operation, uint32_t error, int times) {
    for (int i = 0; i < times; ++i) {
        failures_[operation].push_back(error);
    }
}

// --- Internals -----------------------------------------------------------------

IowKit2Double::Call IowKit2Double::MakeCall(Operation operation, IowKit2Handle device,
                                            unsigned pipe) {
    Call call;
    call.operation = operation;
    call.device = device;
    call.pipe = pipe;
    return call;
}

IowKit2Double::Device* IowKit2Double::Lookup(IowKit2Handle device) const {
    // Compares addresses only: a handle never given out is never dereferenced.
    for (const auto& record : devices_) {
        if (reinterpret_cast<IowKit2Handle>(record.get()) == device) {
            return record.get();
        }
    }
    return nullptr;
}

IowKit2Double::Device* IowKit2Double::Find(IowKit2Handle device) const {
    Device* record = Lookup(device);
    return record != nullptr && !record->released ? record : nullptr;
}

IowKit2Double::Device& IowKit2Double::Get(IowKit2Handle device) const {
    if (Device* record = Lookup(device)) {
        return *record;
    }
    throw std::invalid_argument("IowKit2Double: not a device of this double");
}

bool IowKit2Double::TakeScriptedFailure(Operation operation, uint32_t& error) {
    auto found = failures_.find(operation);
    if (found == failures_.end() || found->second.empty()) {
        return false;
    }
    error = found->second.front();
    found->second.pop_front();
    return true;
}

void IowKit2Double::Finish(Call call, uint32_t lastError) {
    call.lastError = lastError;
    calls_.push_back(std::move(call));
    IowKit2SetLastError(lastError);
}

void IowKit2Double::CloseAll() {
    // Every device is closed and released without callbacks.
    for (const auto& record : devices_) {
        record->open = false;
        record->released = true;
    }
    pending_.clear();
    started_ = false;
    deviceCallback_ = nullptr;
    deviceContext_ = nullptr;
}

void IowKit2Double::ReleaseIfUnclaimedAndClosed(Device& device) {
    if (!device.open && !device.claimed) {
        device.released = true;
    }
}

// --- The nine operations -------------------------------------------------------

uint32_t IowKit2Double::RegisterDeviceCallback(IowKit2DeviceCallback callback, void* context) {
    Call call = MakeCall(Operation::RegisterDeviceCallback);
    // Starting again first shuts down what the earlier start left.
    if (started_) {
        CloseAll();
    }
    uint32_t error = kIowKit2Success;
    if (TakeScriptedFailure(Operation::RegisterDeviceCallback, error)) {
        call.result = error;
        Finish(std::move(call), error);
        return error;
    }
    started_ = true;
    deviceCallback_ = callback;
    deviceContext_ = context;
    Finish(std::move(call), kIowKit2Success);
    return kIowKit2Success;
}

void IowKit2Double::AnnounceUnclaimed() {
    // Journaled before the arrivals it causes.
    Finish(MakeCall(Operation::AnnounceUnclaimed), kIowKit2Success);
    if (!started_ || deviceCallback_ == nullptr) {
        return;
    }
    // A callback may add devices; announce only those open now.
    std::vector<IowKit2Handle> unclaimed;
    for (const auto& record : devices_) {
        if (record->open && !record->released && !record->claimed) {
            unclaimed.push_back(reinterpret_cast<IowKit2Handle>(record.get()));
        }
    }
    for (IowKit2Handle device : unclaimed) {
        if (IsOpen(device) && !IsClaimed(device)) {
            AnnounceArrival(device);
        }
    }
    IowKit2SetLastError(kIowKit2Success);
}

void IowKit2Double::Shutdown() {
    CloseAll();
    Finish(MakeCall(Operation::Shutdown), kIowKit2Success);
}

template <typename Value>
Value IowKit2Double::Property(Operation operation, IowKit2Handle device, Value DeviceInfo::*field) {
    Call call = MakeCall(operation, device);
    const Device* record = Find(device);
    uint32_t error = kIowKit2ErrorInvalidParameter;
    if (record == nullptr || TakeScriptedFailure(operation, error)) {
        Finish(std::move(call), error);
        return 0;
    }
    const Value value = record->info.*field;
    call.result = value;
    Finish(std::move(call), kIowKit2Success);
    return value;
}

int IowKit2Double::GetProductId(IowKit2Handle device) {
    return Property(Operation::GetProductId, device, &DeviceInfo::productId);
}

int IowKit2Double::GetRevision(IowKit2Handle device) {
    return Property(Operation::GetRevision, device, &DeviceInfo::revision);
}

uint32_t IowKit2Double::GetSerialNumber(IowKit2Handle device) {
    return Property(Operation::GetSerialNumber, device, &DeviceInfo::serialNumber);
}

int IowKit2Double::SetClaimed(IowKit2Handle device, int value) {
    Call call = MakeCall(Operation::SetClaimed, device);
    call.value = value;
    Device* record = Find(device);
    uint32_t error = kIowKit2ErrorInvalidParameter;
    if (record == nullptr || TakeScriptedFailure(Operation::SetClaimed, error)) {
        Finish(std::move(call), error);
        return 0;
    }
    record->claimed = value != 0;
    // An unplugged device lives on only until its claim is cleared.
    ReleaseIfUnclaimedAndClosed(*record);
    call.result = 1;
    Finish(std::move(call), kIowKit2Success);
    return 1;
}

int IowKit2Double::SetReadCallback(IowKit2Handle device, unsigned pipe,
                                   IowKit2ReadCallback callback, void* context) {
    Call call = MakeCall(Operation::SetReadCallback, device, pipe);
    call.value = callback != nullptr ? 1 : 0;
    Device* record = Find(device);
    uint32_t error = kIowKit2ErrorInvalidParameter;
    if (record == nullptr || !record->open || !record->claimed || pipe >= kIowKit2PipeCount ||
        TakeScriptedFailure(Operation::SetReadCallback, error)) {
        Finish(std::move(call), error);
        return 0;
    }
    record->pipes[pipe].callback = callback;
    record->pipes[pipe].context = context;
    call.result = 1;
    Finish(std::move(call), kIowKit2Success);
    return 1;
}

int IowKit2Double::Write(IowKit2Handle device, unsigned pipe, const uint8_t* buffer) {
    Call call = MakeCall(Operation::Write, device, pipe);
    Device* record = Find(device);
    if (record != nullptr && pipe < kIowKit2PipeCount && buffer != nullptr) {
        const unsigned length = std::min(record->info.outputReportLength[pipe], kIowKit2ReportSize);
        call.bytes.assign(buffer, buffer + length);
    }
    uint32_t error = kIowKit2ErrorInvalidParameter;
    if (record == nullptr || !record->open || !record->claimed || pipe >= kIowKit2PipeCount ||
        buffer == nullptr || TakeScriptedFailure(Operation::Write, error)) {
        Finish(std::move(call), error);
        return 0;
    }
    const int length = static_cast<int>(call.bytes.size());
    writes_.push_back({device, pipe, call.bytes});
    call.result = length;
    Finish(std::move(call), kIowKit2Success);
    if (onWrite) {
        onWrite(writes_.back());
    }
    return length;
}

// --- The layer's functions ------------------------------------------------------

uint32_t IowKit2RegisterDeviceCallback(IowKit2DeviceCallback callback, void* context) {
    if (active == nullptr) {
        IowKit2SetLastError(kIowKit2ErrorInvalidParameter);
        return kIowKit2ErrorInvalidParameter;
    }
    return active->RegisterDeviceCallback(callback, context);
}

void IowKit2AnnounceUnclaimed() {
    if (active == nullptr) {
        IowKit2SetLastError(kIowKit2Success);
        return;
    }
    active->AnnounceUnclaimed();
}

void IowKit2Shutdown() {
    if (active == nullptr) {
        IowKit2SetLastError(kIowKit2Success);
        return;
    }
    active->Shutdown();
}

namespace {

// The operations that fail as on a null handle while no double is installed.
template <auto Operation, typename... Args>
auto OnActiveDouble(Args... args) {
    if (active == nullptr) {
        IowKit2SetLastError(kIowKit2ErrorInvalidParameter);
        return decltype((active->*Operation)(args...)){};
    }
    return (active->*Operation)(args...);
}

}  // namespace

int IowKit2GetProductId(IowKit2Handle device) {
    return OnActiveDouble<&IowKit2Double::GetProductId>(device);
}

int IowKit2GetRevision(IowKit2Handle device) {
    return OnActiveDouble<&IowKit2Double::GetRevision>(device);
}

uint32_t IowKit2GetSerialNumber(IowKit2Handle device) {
    return OnActiveDouble<&IowKit2Double::GetSerialNumber>(device);
}

int IowKit2SetClaimed(IowKit2Handle device, int value) {
    return OnActiveDouble<&IowKit2Double::SetClaimed>(device, value);
}

int IowKit2SetReadCallback(IowKit2Handle device, unsigned pipe, IowKit2ReadCallback callback,
                           void* context) {
    return OnActiveDouble<&IowKit2Double::SetReadCallback>(device, pipe, callback, context);
}

int IowKit2Write(IowKit2Handle device, unsigned pipe, const uint8_t* buffer) {
    return OnActiveDouble<&IowKit2Double::Write>(device, pipe, buffer);
}
