// The per-pipe ring of reports that no read callback consumed.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "hid/device_record.h"

// Stores a copy of the report (size bytes, at most 64) as the newest. 1 when
// nothing was lost; 0 when the oldest report was dropped to make room, or
// when no block could be had for the report.
int IowKit2QueueReport(IowKit2Device& device, unsigned pipe, const uint8_t* report, uint32_t size);
// Releases every block of the pipe's queue and empties it.
void IowKit2ReleaseQueue(IowKit2Device& device, unsigned pipe);
// The queued reports, oldest first.
std::vector<std::array<uint8_t, kIowKit2ReportSize>> IowKit2QueuedReports(IowKit2Device& device,
                                                                          unsigned pipe);
