// Checks a firmware image before the switch hears of it: every line the
// transfer would send must be a whole Motorola S-record.
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
    enum class Verdict { Ok, DamagedRecord, NoRecords };

    Verdict verdict = Verdict::Ok;
    // DamagedRecord: the number of the first damaged line.
    size_t lineNumber = 0;

    bool operator==(const ImageCheck&) const = default;
};

// Checks the lines of `image` that the transfer sends (S0, S1 and S9), split
// and stripped of carriage returns as the transfer does it; other lines are
// not looked at. The image's first line has the number `firstLineNumber`.
ImageCheck CheckImage(std::string_view image, size_t firstLineNumber);

}  // namespace firmware
