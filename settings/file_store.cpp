#include "settings/file_store.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::size_t kReadChunkSize = 64 * 1024;

}  // namespace

FileContents ReadWholeFile(const std::string& path) {
    errno = 0;
    const FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return {errno == ENOENT ? FileReadStatus::Missing : FileReadStatus::Failed, {}};
    }
    FileContents result{FileReadStatus::Read, {}};
    std::string chunk(kReadChunkSize, '\0');
    while (true) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
        result.bytes.append(chunk, 0, got);
        if (result.bytes.size() > kMaxSettingsFileSize) {
            return {FileReadStatus::Failed, {}};
        }
        if (got < chunk.size()) {
            break;
        }
    }
    if (std::ferror(file.get())) {
        return {FileReadStatus::Failed, {}};
    }
    return result;
}
