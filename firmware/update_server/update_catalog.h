// The firmware images the local update server offers: the files of a folder
// named after their version, e.g. 1.11.s19.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace updateserver {

inline constexpr std::string_view kImageExtension = ".s19";

// A version as its dotted decimal numbers: 1.11 is newer than 1.9. Nothing
// for a text that is not one.
std::optional<std::vector<unsigned>> ParseVersion(std::string_view text);

struct Image {
    std::string version;
    std::filesystem::path file;
};

// The image with the highest version in the folder, if any. Files whose name
// is not a version are left out.
std::optional<Image> NewestImage(const std::filesystem::path& folder);

}  // namespace updateserver
