// The HID device layer's interface: everything the program may call.
//
// Every operation sets the calling thread's last-error code (see
// IowKit2GetLastError): 0 on success, ERROR_INVALID_PARAMETER for a bad or
// unclaimed handle, a pipe of 2 or more or no buffer, ERROR_TIMEOUT for a
// write that did not complete. Both callbacks run only on the thread that
// called IowKit2RegisterDeviceCallback, while it dispatches its messages.
#pragma once

#include <cstdint>

struct IowKit2Device;
using IowKit2Handle = IowKit2Device*;

// Device callback events.
inline constexpr int kIowKit2Arrival = 0;
inline constexpr int kIowKit2Removal = 1;

// event is kIowKit2Arrival or kIowKit2Removal; context as given at start.
using IowKit2DeviceCallback = void (*)(int event, IowKit2Handle device, void* context);

// report is valid only during the call; length is the pipe's input report
// length. Return non-zero when the report was consumed, 0 to have the layer
// queue it.
using IowKit2ReadCallback = int (*)(IowKit2Handle device, unsigned pipe, const uint8_t* report,
                                    unsigned length, void* context);

// Error codes left as the thread's last-error code.
inline constexpr uint32_t kIowKit2Success = 0;
inline constexpr uint32_t kIowKit2ErrorInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
inline constexpr uint32_t kIowKit2ErrorTimeout = 1460;         // ERROR_TIMEOUT

// Every device has two pipes; the switch is reached through pipe 1.
inline constexpr unsigned kIowKit2PipeCount = 2;
// Report buffers passed to and from the layer are this long.
inline constexpr unsigned kIowKit2ReportSize = 64;

// Starts the layer on the calling thread (shutting down an earlier start).
// Returns 0, or the platform error code of the step that failed. The first
// device scan runs when the thread next dispatches its messages.
uint32_t IowKit2RegisterDeviceCallback(IowKit2DeviceCallback callback, void* context);
// Calls the device callback with an arrival for every open, unclaimed device.
void IowKit2AnnounceUnclaimed();
// Closes every device without callbacks and releases the layer.
void IowKit2Shutdown();

// USB product id, 0 on failure.
int IowKit2GetProductId(IowKit2Handle device);
// USB version number (16 bits), 0 on failure.
int IowKit2GetRevision(IowKit2Handle device);
// Serial number string read as a hexadecimal number; 0 when none or on failure.
uint32_t IowKit2GetSerialNumber(IowKit2Handle device);
// Sets the claimed flag to value; 1 on success, 0 on failure.
int IowKit2SetClaimed(IowKit2Handle device, int value);
// Installs (or clears, with nullptr) the read callback of a pipe of a claimed
// device; 1 on success, 0 on failure.
int IowKit2SetReadCallback(IowKit2Handle device, unsigned pipe, IowKit2ReadCallback callback,
                           void* context);
// Writes the pipe's output report length from a 64-byte buffer and waits for
// the write to finish; the output report length on success, 0 on failure.
int IowKit2Write(IowKit2Handle device, unsigned pipe, const uint8_t* buffer);

// The calling thread's last-error code (GetLastError on Windows).
uint32_t IowKit2GetLastError();
void IowKit2SetLastError(uint32_t code);
