#include "firmware/http_client_win32.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <utility>
#include <vector>

namespace {

// How long connecting, sending the request and each receive may wait.
constexpr DWORD kConnectTimeoutMilliseconds = 30'000;
constexpr DWORD kSendTimeoutMilliseconds = 30'000;
constexpr DWORD kReceiveTimeoutMilliseconds = 30'000;
constexpr std::array<std::pair<DWORD, DWORD>, 3> kTimeouts{{
    {INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMilliseconds},
    {INTERNET_OPTION_SEND_TIMEOUT, kSendTimeoutMilliseconds},
    {INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMilliseconds},
}};

// Names kDownloadTimeLimit.
constexpr char kDownloadTooLong[] =
    "The download of the firmware took too long (over 5 minutes). Nothing was sent to the "
    "switch.";
static_assert(kDownloadTimeLimit == std::chrono::minutes(5));

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
    if (!session_) {
        return Fail();
    }
    // Connections and requests made in the session take its timeouts.
    for (auto [option, milliseconds] : kTimeouts) {
        if (!InternetSetOptionA(session_.get(), option, &milliseconds, sizeof(milliseconds))) {
            return Fail();
        }
    }
    return true;
}

bool WinInetHttpClient::Get(const std::string& pathAndQuery) {
    request_.reset();
    connection_.reset();
    readTime_ = {};
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

std::optional<std::string> WinInetHttpClient::QueryText(DWORD info) {
    DWORD size = 0;
    if (!HttpQueryInfoA(request_.get(), info, nullptr, &size, nullptr) &&
        GetLastError() == ERROR_HTTP_HEADER_NOT_FOUND) {
        return std::string();
    }
    std::vector<char> text(size + 1);
    size = static_cast<DWORD>(text.size());
    if (!HttpQueryInfoA(request_.get(), info, text.data(), &size, nullptr)) {
        Fail();
        return std::nullopt;
    }
    return std::string(text.data(), std::min<size_t>(size, text.size()));
}

std::optional<HttpHead> WinInetHttpClient::Head() {
    HttpHead head;
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoA(request_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &size, nullptr)) {
        Fail();
        return std::nullopt;
    }
    head.status = status;
    std::optional<std::string> reason = QueryText(HTTP_QUERY_STATUS_TEXT);
    if (!reason) {
        return std::nullopt;
    }
    head.reason = std::move(*reason);
    // Read as text: Wine's WinINet has no 64-bit number of a header and takes
    // the query for one as a header not found. A chunked answer declares no
    // length.
    const std::optional<std::string> length = QueryText(HTTP_QUERY_CONTENT_LENGTH);
    if (!length) {
        return std::nullopt;
    }
    if (!length->empty()) {
        uint64_t value = 0;
        const char* end = length->data() + length->size();
        const auto [stop, error] = std::from_chars(length->data(), end, value);
        if (error != std::errc() || stop != end) {
            SetLastError(ERROR_HTTP_INVALID_HEADER);
            Fail();
            return std::nullopt;
        }
        head.bodyLength = value;
    }
    return head;
}

std::optional<size_t> WinInetHttpClient::Read(char* buffer, size_t capacity) {
    if (readTime_ > downloadTimeLimit_) {
        errorCode_ = ERROR_INTERNET_TIMEOUT;
        errorText_ = kDownloadTooLong;
        return std::nullopt;
    }
    const auto started = std::chrono::steady_clock::now();
    const std::optional<size_t> read = ReadAvailable(buffer, capacity);
    readTime_ += std::chrono::steady_clock::now() - started;
    return read;
}

std::optional<size_t> WinInetHttpClient::ReadAvailable(char* buffer, size_t capacity) {
    // Waits only until some of the body is there (or its end), where a read
    // of a whole buffer would wait until the buffer is full.
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request_.get(), &available, 0, 0)) {
        Fail();
        return std::nullopt;
    }
    DWORD read = 0;
    const auto asked = static_cast<DWORD>(
        std::min<size_t>({capacity, available, std::numeric_limits<DWORD>::max()}));
    if (asked > 0 && !InternetReadFile(request_.get(), buffer, asked, &read)) {
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
