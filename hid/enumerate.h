// Building device records from the HID interfaces that are present.
#pragma once

#include "hid/device_record.h"

inline constexpr uint16_t kIowKit2VendorId = 0x1214;
inline constexpr uint16_t kIowKit2ProductIds[] = {0x1500, 0x03EB, 0x1511, 0x1512};
// Interfaces with output reports this long or longer are pipe 1.
inline constexpr uint16_t kIowKit2Pipe1MinOutputLength = 8;
inline constexpr int kIowKit2InterfacesPerDevice = 2;

bool IowKit2Matches(const IowKit2HidAttributes& attributes);

// Empties found, then fills it with a record per device that shows exactly
// two matching interfaces, one per pipe. Returns the number of records.
int IowKit2Enumerate(IowKit2DeviceList& found);
