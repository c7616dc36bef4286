#include "firmware/http_client_win32.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// Never from a cache, and no cached copy kept; proxies are asked not to
// answer from theirs either.
constexpr DWORD kFreshRequest =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;

constexpr char kGet[] = "GET";
constexpr char kWinInetModule[] = "wininet.dll";
constexpr char kUnknownErrorPrefix[] = "Internet error ";
constexpr DWORD kMessageBufferSize = 1024;

std::string TrimmedLine(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// The platform's message for a code: WinINet's own codes are described in
// wininet.dll, not in the system's table.
std::string DescribeError(DWORD code) {
    if (code == ERROR_INTERNET_EXTENDED_ERROR) {
        DWORD detail = 0;
        DWORD length = 0;
        InternetGetLastResponseInfoA(&detail, nullptr, &length);
        std::vector<char> text(length + 1);
        if (length > 0 && InternetGetLastResponseInfoA(&detail, text.data(), &length)) {
            return TrimmedLine(std::string(text.data(), length));
        }
    }
    char text[kMessageBufferSize] = {};
    const DWORD flags =
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = FormatMessageA(flags, GetModuleHandleA(kWinInetModule), code, 0, text,
                                        kMessageBufferSize, nullptr);
    if (length > 0) {
        return TrimmedLine(std::string(text, length));
    }
    return kUnknownErrorPrefix + std::to_string(code);
}

}  // namespace

bool WinInetHttpClient::Fail() {
    errorCode_ = GetLastError();
    errorText_ = DescribeError(errorCode_);
    return false;
}

bool WinInetHttpClient::Open() {
    Close();
    session_.reset(InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    return session_ ? true : Fail();
}

bool WinInetHttpClient::Get(const std::string& pathAndQuery) {
    request_.reset();
    connection_.reset();
    connection_.reset(InternetConnectA(session_.get(), host_.c_str(), INTERNET_DEFAULT_HTTP_PORT,
                                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection_) {
        return Fail();
    }
    const char* acceptTypes[] = {"*/*", nullptr};
    request_.reset(HttpOpenRequestA(connection_.get(), kGet, pathAndQuery.c_str(), nullptr, nullptr,
                                    acceptTypes, kFreshRequest, 0));
    if (!request_) {
        return Fail();
    }
    if (!HttpSendRequestA(request_.get(), nullptr, 0, nullptr, 0)) {
        return Fail();
    }
    return true;
}

std::optional<uint64_t> WinInetHttpClient::BodyLength() {
    DWORD length = 0;
    DWORD size = sizeof(length);
    if (!HttpQueryInfoA(request_.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length,
                        &size, nullptr)) {
        Fail();
        return std::nullopt;
    }
    return length;
}

std::optional<size_t> WinInetHttpClient::Read(char* buffer, size_t capacity) {
    DWORD read = 0;
    const auto asked =
        static_cast<DWORD>(std::min<size_t>(capacity, std::numeric_limits<DWORD>::max()));
    if (!InternetReadFile(request_.get(), buffer, asked, &read)) {
        Fail();
        return std::nullopt;
    }
    return read;
}

void WinInetHttpClient::Close() {
    request_.reset();
    connection_.reset();
    session_.reset();
}
