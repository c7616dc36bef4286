// The HTTP client over WinINet: a session with the system's proxy settings
// and bounded waits, GETs on the update server that always come fresh from
// the server, reads of what has arrived, and the platform's own descriptions
// of its errors.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <memory>
#include <string>

#include "firmware/http_client.h"

// The update server's host name and this program's user-agent, both set at
// build time (CMake: PELO_UPDATE_HOST, and the project's version).
inline constexpr char kUpdateHost[] = PELO_UPDATE_HOST;
inline constexpr char kUserAgent[] = PELO_USER_AGENT;

// The most time the reads of one answer's body may take together; the time
// the user takes over the question in between does not count.
inline constexpr std::chrono::minutes kDownloadTimeLimit{5};

class WinInetHttpClient : public HttpClient {
  public:
    explicit WinInetHttpClient(
        std::string host = kUpdateHost,
        std::chrono::steady_clock::duration downloadTimeLimit = kDownloadTimeLimit)
        : host_(std::move(host)), downloadTimeLimit_(downloadTimeLimit) {}

    bool Open() override;
    bool Get(const std::string& pathAndQuery) override;
    std::optional<HttpHead> Head() override;
    std::optional<size_t> Read(char* buffer, size_t capacity) override;
    void Close() override;
    std::string ErrorText() const override { return errorText_; }

    // The WinINet or system error code of the last failure.
    DWORD ErrorCode() const { return errorCode_; }

  private:
    struct HandleCloser {
        void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
    };
    using Handle = std::unique_ptr<void, HandleCloser>;

    // Takes the thread's last error as the failure to describe; returns false.
    bool Fail();
    // A response header as text (empty when the answer has none); nothing on
    // a failure.
    std::optional<std::string> QueryText(DWORD info);
    // Reads what has arrived of the body, waiting only for its first bytes.
    std::optional<size_t> ReadAvailable(char* buffer, size_t capacity);

    std::string host_;
    const std::chrono::steady_clock::duration downloadTimeLimit_;
    // The time the reads of the current answer took so far.
    std::chrono::steady_clock::duration readTime_{};
    // Declared in the order they are opened, so they close in reverse.
    Handle session_;
    Handle connection_;
    Handle request_;
    DWORD errorCode_ = 0;
    std::string errorText_;
};
