// The HTTP client the update check talks through: one GET at a time on the
// update server, always fresh from the server. The program uses WinINet;
// tests use a scripted fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class HttpClient {
  public:
    virtual ~HttpClient() = default;

    // Opens a client session that uses the system's proxy settings.
    virtual bool Open() = 0;
    // Sends a GET of the path and query to the update server, bypassing every
    // cache, and waits for the answer's head.
    virtual bool Get(const std::string& pathAndQuery) = 0;
    // The length of the answer's body as the server told it. An answer that
    // does not tell it is a failure.
    virtual std::optional<uint64_t> BodyLength() = 0;
    // Reads the next block of the body: the number of bytes read, 0 at its
    // end, nothing on a failure.
    virtual std::optional<size_t> Read(char* buffer, size_t capacity) = 0;
    // Closes the answer, then the session. Safe to call at any point.
    virtual void Close() = 0;
    // Describes the last failure for the user.
    virtual std::string ErrorText() const = 0;
};
