// The update server's request and the grammar of its answer: the path and
// query of the GET, the answer's lines and the verdict of its first line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace firmware {

// The values are inserted as they are, without percent-encoding.
inline constexpr char kUpdateQueryFormat[] = "/firmware/check.php?fw=%s&swid=%d&av=%s&os=w";

// A first line beginning with this (exactly, case and all) means the
// switch's firmware is up to date.
inline constexpr std::string_view kUpToDateVerdict = "NULL";

inline constexpr char kLineFeed = '\n';
inline constexpr char kCarriageReturn = '\r';

// The path and query asking for firmware newer than `firmwareVersion` for a
// switch of `deviceType`, from this program at `appVersion`.
std::string UpdateQueryPath(const std::string& firmwareVersion, uint32_t deviceType,
                            const std::string& appVersion);

bool IsUpToDate(std::string_view firstLine);

// A line as the answer holds it, without its line feed: carriage returns are
// removed wherever they stand.
std::string WithoutCarriageReturns(std::string_view text);

// Takes the next line off the front of `text`: a line feed ends a line, and
// a last line without one is a line too. Returns false when no byte is left.
bool TakeLine(std::string_view& text, std::string& line);

}  // namespace firmware
