// Replacement by rename(2), which swaps the directory entry atomically.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "settings/file_store.h"

namespace {

constexpr mode_t kNewFileMode = 0644;
constexpr char kTempSuffix[] = ".XXXXXX";

// The temporary file: closed, and removed unless it was put in place.
class TempFile {
  public:
    explicit TempFile(std::string pathTemplate)
        : path_(std::move(pathTemplate)), fd_(mkstemp(path_.data())), created_(fd_ >= 0) {}
    ~TempFile() {
        Close();
        if (created_ && !placed_) {
            unlink(path_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Created() const { return created_; }
    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }
    bool Close() {
        if (fd_ < 0) {
            return true;
        }
        const bool closed = close(fd_) == 0;
        fd_ = -1;
        return closed;
    }
    void MarkPlaced() { placed_ = true; }

  private:
    std::string path_;
    int fd_;
    bool created_;
    bool placed_ = false;
};

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

bool ReplaceWholeFile(const std::string& path, std::string_view contents) {
    TempFile temp(path + kTempSuffix);
    if (!temp.Created()) {
        return false;
    }
    // mkstemp makes the file private; give it the old file's permissions.
    struct stat old {};
    const mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : kNewFileMode;
    if (fchmod(temp.Fd(), mode) != 0 || !WriteAll(temp.Fd(), contents) || fsync(temp.Fd()) != 0 ||
        !temp.Close()) {
        return false;
    }
    if (rename(temp.Path().c_str(), path.c_str()) != 0) {
        return false;
    }
    temp.MarkPlaced();
    return true;
}
