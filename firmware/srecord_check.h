// Checks a firmware image before the switch hears of it: every line the
// transfer would send must be a whole Motorola S-record the switch can take,
// and the image must hold data and end with its end record.
#pragma once

#include <cstddef>
#include <string_view>

namespace firmware {

// Whether `line` (without its line end) is whole after its two-character
// type: hexadecimal digits only, an even count of them, a count byte equal to
// the number of bytes after it (at least a 16-bit address and the checksum),
// and a checksum that is the ones' complement of the low byte of the sum of
// the count, address and data bytes.
bool IsWholeSRecord(std::string_view line);

struct ImageCheck {
    // NoRecords: no S0, S1 or S9 line at all; NoData: no S1 line; NoEnd: the
    // last of them is not an S9 line (the image is cut short).
    enum class Verdict { Ok, DamagedRecord, TooLong, NoRecords, NoData, NoEnd };

    Verdict verdict = Verdict::Ok;
    // DamagedRecord, TooLong: the number of the first such line.
    size_t lineNumber = 0;

    bool operator==(const ImageCheck&) const = default;
};

// Checks the lines of `image` that the transfer sends (S0, S1 and S9), split
// and stripped of carriage returns as the transfer does it; other lines are
// not looked at. A record longer than the switch takes counts as TooLong.
// The image's first line has the number `firstLineNumber`.
ImageCheck CheckImage(std::string_view image, size_t firstLineNumber);

}  // namespace firmware
