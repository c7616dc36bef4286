#include "firmware/update_query.h"

#include <cstdio>
#include <vector>

namespace firmware {

std::string UpdateQueryPath(const std::string& firmwareVersion, uint32_t deviceType,
                            const std::string& appVersion) {
    const int type = static_cast<int>(deviceType);
    const int length = std::snprintf(nullptr, 0, kUpdateQueryFormat, firmwareVersion.c_str(), type,
                                     appVersion.c_str());
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::snprintf(text.data(), text.size(), kUpdateQueryFormat, firmwareVersion.c_str(), type,
                  appVersion.c_str());
    return std::string(text.data(), static_cast<size_t>(length));
}

bool IsUpToDate(std::string_view firstLine) {
    return firstLine.starts_with(kUpToDateVerdict);
}

std::string WithoutCarriageReturns(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    for (char c : text) {
        if (c != kCarriageReturn) {
            line.push_back(c);
        }
    }
    return line;
}

bool TakeLine(std::string_view& text, std::string& line) {
    if (text.empty()) {
        return false;
    }
    const size_t end = text.find(kLineFeed);
    if (end == std::string_view::npos) {
        line = WithoutCarriageReturns(text);
        text = {};
    } else {
        line = WithoutCarriageReturns(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return true;
}

}  // namespace firmware
