// A device's pipes: their handles and one reader thread per pipe, which hands
// each input report to the owner thread or queues it.
#pragma once

#include <cstdint>

#include "hid/device_record.h"

// How long a reader waits for its read before it looks at its stop signal
// again, and, once a read has failed, before it issues its read anew.
inline constexpr uint32_t kIowKit2ReaderPollMs = 250;

// Opens the read and write handles of pipe 0, then pipe 1, and starts their
// readers. False at the first step that fails; the caller then closes the
// record.
bool IowKit2OpenPipes(IowKit2Device& device);
bool IowKit2StartReader(IowKit2Device& device, unsigned pipe);
// Owner thread: stops the pipe's reader, serving its hand-over if it is in
// one. With full set the queued reports go too.
void IowKit2StopReader(IowKit2Device& device, unsigned pipe, bool full);
