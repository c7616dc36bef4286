// The HTTP client over WinINet: a session with the system's proxy settings,
// GETs on the update server that always come fresh from the server, and the
// platform's own descriptions of its errors.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "firmware/http_client.h"

// The update server's host name and this program's user-agent, both set at
// build time (CMake: PELO_UPDATE_HOST, and the project's version).
inline constexpr char kUpdateHost[] = PELO_UPDATE_HOST;
inline constexpr char kUserAgent[] = PELO_USER_AGENT;

class WinInetHttpClient : public HttpClient {
  public:
    explicit WinInetHttpClient(std::string host = kUpdateHost) : host_(std::move(host)) {}

    bool Open() override;
    bool Get(const std::string& pathAndQuery) override;
    std::optional<uint64_t> BodyLength() override;
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

    std::string host_;
    // Declared in the order they are opened, so they close in reverse.
    Handle session_;
    Handle connection_;
    Handle request_;
    DWORD errorCode_ = 0;
    std::string errorText_;
};
