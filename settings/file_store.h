// Whole-file reads and crash-safe whole-file replacement for the settings file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Larger files are not taken for settings files: they are neither read nor
// rewritten.
inline constexpr std::size_t kMaxSettingsFileSize = 1024 * 1024;

enum class FileReadStatus {
    Read,     // contents hold the whole file
    Missing,  // no file of that name
    Failed,   // present but not readable, or too large
};

struct FileContents {
    FileReadStatus status = FileReadStatus::Missing;
    std::string bytes;
};

FileContents ReadWholeFile(const std::string& path);

// Writes contents to a new file beside path and then puts it in place of
// path in one step, so that path holds either its old or its new contents
// whatever happens in between. Returns false, leaving path as it was, when
// any step fails.
bool ReplaceWholeFile(const std::string& path, std::string_view contents);
