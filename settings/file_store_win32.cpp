// Replacement by MoveFileExA, which replaces the old file in one step.
#include <windows.h>

#include <algorithm>
#include <string>

#include "settings/file_store.h"

namespace {

constexpr char kTempPrefix[] = "qvx";

// The folder part of path, with its separator; "." for a bare file name.
std::string FolderOf(const std::string& path) {
    const auto separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string(".") : path.substr(0, separator + 1);
}

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    bool Close() {
        if (!Valid()) {
            return true;
        }
        const bool closed = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

// The temporary file, created empty with a unique name beside the target and
// removed unless it was put in place.
class TempFile {
  public:
    explicit TempFile(const std::string& folder) {
        created_ = GetTempFileNameA(folder.c_str(), kTempPrefix, 0, path_) != 0;
    }
    ~TempFile() {
        if (created_ && !placed_) {
            DeleteFileA(path_);
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Created() const { return created_; }
    const char* Path() const { return path_; }
    void MarkPlaced() { placed_ = true; }

  private:
    char path_[MAX_PATH] = {};
    bool created_ = false;
    bool placed_ = false;
};

bool WriteAll(HANDLE file, std::string_view data) {
    while (!data.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), MAXDWORD));
        DWORD written = 0;
        if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool ReplaceWholeFile(const std::string& path, std::string_view contents) {
    TempFile temp(FolderOf(path));
    if (!temp.Created()) {
        return false;
    }
    Handle file(CreateFileA(temp.Path(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid() || !WriteAll(file.Get(), contents) || !FlushFileBuffers(file.Get()) ||
        !file.Close()) {
        return false;
    }
    if (!MoveFileExA(temp.Path(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return false;
    }
    temp.MarkPlaced();
    return true;
}
