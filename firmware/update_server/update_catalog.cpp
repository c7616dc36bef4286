#include "firmware/update_server/update_catalog.h"

#include <charconv>
#include <system_error>

namespace updateserver {

std::optional<std::vector<unsigned>> ParseVersion(std::string_view text) {
    std::vector<unsigned> numbers;
    for (;;) {
        unsigned number = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (error != std::errc() || end == text.data()) {
            return std::nullopt;
        }
        numbers.push_back(number);
        text.remove_prefix(static_cast<size_t>(end - text.data()));
        if (text.empty()) {
            return numbers;
        }
        if (text.front() != '.') {
            return std::nullopt;
        }
        text.remove_prefix(1);
    }
}

std::optional<Image> NewestImage(const std::filesystem::path& folder) {
    std::optional<Image> newest;
    std::optional<std::vector<unsigned>> newestVersion;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::filesystem::path& file = entry.path();
        if (!entry.is_regular_file(error) || file.extension() != kImageExtension) {
            continue;
        }
        const std::string version = file.stem().string();
        const std::optional<std::vector<unsigned>> parsed = ParseVersion(version);
        if (parsed && (!newestVersion || *parsed > *newestVersion)) {
            newestVersion = parsed;
            newest = Image{version, file};
        }
    }
    return newest;
}

}  // namespace updateserver
