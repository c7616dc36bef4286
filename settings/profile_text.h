// Reading and changing one value in the text of a profile (INI) file.
//
// Lines end in LF or CR LF (the last one possibly in neither); a UTF-8 byte
// order mark before the first line is skipped. Blanks around names, "=" and
// values are ignored, lines starting with ";" are comments, section and key
// names match without regard to ASCII case, and the first matching section
// and key count.
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr std::string_view kProfileLineEnd = "\r\n";

// The value of key in section, or nothing when either is missing. The view
// points into text.
std::optional<std::string_view> FindProfileValue(std::string_view text, std::string_view section,
                                                 std::string_view key);

// Returns text with key set to value: its line is replaced in place, or a
// line is added at the end of the section, or the section is added at the
// end of the text. Every other line keeps its bytes, line end included.
std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value);
