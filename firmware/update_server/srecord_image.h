// Makes firmware images as Motorola S-record text, for the sample folder and
// for tests: an S0 header record, S1 data records and an S9 end record.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace updateserver {

// S1 records address 16 bits: an image holds at most 64 KiB.
inline constexpr size_t kMaxS1ImageSize = 0x10000;
inline constexpr size_t kBytesPerRecord = 32;

// An image of `size` bytes (at most kMaxS1ImageSize) from address 0, whose
// S0 record carries `header` (the version, say); lines end in CR LF.
std::string MakeSRecordImage(std::string_view header, size_t size);

}  // namespace updateserver
