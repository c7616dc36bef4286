// Reading and changing one value in the text of a profile (INI) file.
//
// The text is read as the Windows profile functions read it, so that a write
// never turns a key they read into one this codec misses, or the reverse.
// Lines end in CR LF, LF or a lone CR (the last one possibly in none); a
// UTF-8 byte order mark before the first line is skipped. Blanks (space,
// tab, vertical tab, form feed) around names, "=" and values are ignored,
// lines starting with ";" are comments, a section name runs from "[" to the
// last "]" of its line, section and key names match without regard to ASCII
// case, and the first matching section and key count.
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
