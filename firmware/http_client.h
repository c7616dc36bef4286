// The HTTP client the update check talks through: one GET at a time on the
// update server, always fresh from the server. The program uses WinINet;
// tests use a scripted fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The head of an answer: its status line and how long its body is.
struct HttpHead {
    unsigned status = 0;  // 200, 404, ...
    std::string reason;   // "OK", "Not Found", ...
    // The body's length as the server declared it (Content-Length); none when
    // it declared none (a chunked answer), whose body is what arrives.
    std::optional<uint64_t> bodyLength;
};

class HttpClient {
  public:
    virtual ~HttpClient() = default;

    // Opens a client session that uses the system's proxy settings.
    virtual bool Open() = 0;
    // Sends a GET of the path and query to the update server, bypassing every
    // cache, and waits for the answer's head.
    virtual bool Get(const std::string& pathAndQuery) = 0;
    // The head of the answer Get waited for; nothing on a failure.
    virtual std::optional<HttpHead> Head() = 0;
    // Reads the next bytes of the body, at most `capacity` and without waiting
    // for more once some arrived: the number of bytes read, 0 at its end,
    // nothing on a failure.
    virtual std::optional<size_t> Read(char* buffer, size_t capacity) = 0;
    // Closes the answer, then the session. Safe to call at any point.
    virtual void Close() = 0;
    // Describes the last failure for the user.
    virtual std::string ErrorText() const = 0;
};
