// The device's serial number: read from the platform when the device is
// found, and turned into the number the program shows.
#pragma once

#include <cstdint>

#include "hid/device_record.h"
#include "hid/platform.h"

// Fills field with the serial number string; all zero when the device has
// none, or when what it gives is just its string 0 (the language list).
void IowKit2ReadSerialNumber(IowKit2Probe& probe, char16_t (&field)[kIowKit2SerialUnits]);

// The low bytes of the field's code units, up to the first zero, read as a
// hexadecimal number as "%x" would: leading blanks, a sign and a 0x are
// accepted, and the value wraps to 32 bits. 0 when nothing parses.
uint32_t IowKit2ParseSerialNumber(const char16_t (&field)[kIowKit2SerialUnits]);
