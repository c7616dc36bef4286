#include "settings/profile_text.h"

#include <algorithm>

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr char kCommentStart = ';';
constexpr char kSectionOpen = '[';
constexpr char kSectionClose = ']';
constexpr char kKeyValueSeparator = '=';
constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';

// The blanks the Windows profile reader trims around section names, key
// names and values.
constexpr std::string_view kBlanks = " \t\v\f";

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool NamesMatch(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

enum class LineKind { Blank, Comment, Section, Key };

// One line of the text: its content (without the line end) and what it is.
struct Line {
    std::size_t begin = 0;       // offset of the first byte of the content
    std::size_t contentEnd = 0;  // offset just past the content
    std::size_t end = 0;         // offset just past the line end
    LineKind kind = LineKind::Blank;
    std::string_view name;   // section or key name
    std::string_view value;  // key value; empty when the line has no "="
};

// Where the line that starts at begin ends: CR LF, a lone LF or a lone CR
// ends it, as in the Windows profile reader.
void FindLineEnd(std::string_view text, Line& line) {
    // One pass that stops at either byte, so a file of lone CRs stays linear.
    const auto it = std::find_if(text.begin() + static_cast<std::ptrdiff_t>(line.begin), text.end(),
                                 [](char c) { return c == kCarriageReturn || c == kLineFeed; });
    if (it == text.end()) {
        line.contentEnd = line.end = text.size();
        return;
    }
    const auto lineEnd = static_cast<std::size_t>(it - text.begin());
    line.contentEnd = lineEnd;
    const bool crLf = text.substr(lineEnd).starts_with(kProfileLineEnd);
    line.end = lineEnd + (crLf ? kProfileLineEnd.size() : 1);
}

bool EndsInLineEnd(std::string_view text) {
    return !text.empty() && (text.back() == kLineFeed || text.back() == kCarriageReturn);
}

Line ParseLine(std::string_view text, std::size_t begin) {
    Line line;
    line.begin = begin;
    FindLineEnd(text, line);
    const auto content = Trim(text.substr(begin, line.contentEnd - begin));
    // A section name runs to the last "]" of its line, as the platform reads
    // it: "[Settings]]" is the section "Settings]".
    const auto sectionClose =
        content.starts_with(kSectionOpen) ? content.rfind(kSectionClose) : std::string_view::npos;
    if (content.empty()) {
        line.kind = LineKind::Blank;
    } else if (content.front() == kCommentStart) {
        line.kind = LineKind::Comment;
    } else if (sectionClose != std::string_view::npos) {
        line.kind = LineKind::Section;
        line.name = Trim(content.substr(1, sectionClose - 1));
    } else {
        // A line without "=" is a key without a value, as the Windows
        // profile functions take it.
        line.kind = LineKind::Key;
        const auto separator = content.find(kKeyValueSeparator);
        line.name = Trim(content.substr(0, separator));
        if (separator != std::string_view::npos) {
            line.value = Trim(content.substr(separator + 1));
        }
    }
    return line;
}

// Where section and key were found. Lines are looked at one at a time and
// only these are kept, so a file of many short lines costs no more memory
// than one of few long ones.
struct Location {
    std::optional<Line> section;
    std::optional<Line> key;
    std::optional<Line> lastKey;  // last key line of the section, or its header
};

Location Locate(std::string_view text, std::string_view section, std::string_view key) {
    Location found;
    std::size_t at = text.starts_with(kUtf8ByteOrderMark) ? kUtf8ByteOrderMark.size() : 0;
    while (at < text.size()) {
        const Line line = ParseLine(text, at);
        at = line.end;
        if (line.kind == LineKind::Section) {
            if (found.section) {
                break;  // the end of the first matching section
            }
            if (NamesMatch(line.name, section)) {
                found.section = line;
                found.lastKey = line;
            }
        } else if (found.section && line.kind == LineKind::Key) {
            found.lastKey = line;
            if (!found.key && NamesMatch(line.name, key)) {
                found.key = line;
            }
        }
    }
    return found;
}

std::string KeyLine(std::string_view key, std::string_view value) {
    std::string line(key);
    line += kKeyValueSeparator;
    line += value;
    line += kProfileLineEnd;
    return line;
}

// text[0, at) with a line end added when it stops inside a line.
std::string PrefixEndingInLineEnd(std::string_view text, std::size_t at) {
    std::string out(text.substr(0, at));
    if (!out.empty() && !EndsInLineEnd(out) && out != kUtf8ByteOrderMark) {
        out += kProfileLineEnd;
    }
    return out;
}

}  // namespace

std::optional<std::string_view> FindProfileValue(std::string_view text, std::string_view section,
                                                 std::string_view key) {
    const Location found = Locate(text, section, key);
    if (!found.key) {
        return std::nullopt;
    }
    return found.key->value;
}

std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value) {
    const Location found = Locate(text, section, key);
    std::string out;
    if (found.key) {
        out = text.substr(0, found.key->begin);
        out += KeyLine(key, value);
        out += text.substr(found.key->end);
    } else if (found.section) {
        const std::size_t insertAt = found.lastKey->end;
        out = PrefixEndingInLineEnd(text, insertAt);
        out += KeyLine(key, value);
        out += text.substr(insertAt);
    } else {
        out = PrefixEndingInLineEnd(text, text.size());
        out += kSectionOpen;
        out += section;
        out += kSectionClose;
        out += kProfileLineEnd;
        out += KeyLine(key, value);
    }
    return out;
}
