// An HttpClient for tests: serves one scripted body for every GET, in blocks
// of a chosen size, with a chosen status and declared body length (or none),
// fails at a chosen step, and journals what it was asked.
#pragma once

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "firmware/http_client.h"

class FakeHttpClient : public HttpClient {
  public:
    enum class Step { Open, Get, Head, Read };

    // The answer's status and body, and the length told for it (the body's
    // own when unset; none at all without `declaresLength`).
    unsigned status = 200;
    std::string reason = "OK";
    std::string body;
    std::optional<uint64_t> toldLength;
    bool declaresLength = true;
    // The most bytes one read gives.
    size_t blockSize = 5;
    // The step that fails; a read fails once `failReadAfter` bytes came.
    std::optional<Step> failAt;
    size_t failReadAfter = 0;
    std::string errorText = "The server name or address could not be resolved";

    // "Open", "Get <path and query>", "Head", "Close"; reads are only
    // counted, in bytesRead.
    std::vector<std::string> calls;
    size_t bytesRead = 0;
    bool open = false;

    bool Open() override {
        calls.push_back("Open");
        open = failAt != Step::Open;
        return open;
    }

    bool Get(const std::string& pathAndQuery) override {
        calls.push_back("Get " + pathAndQuery);
        bytesRead = 0;
        return open && failAt != Step::Get;
    }

    std::optional<HttpHead> Head() override {
        calls.push_back("Head");
        if (failAt == Step::Head) {
            return std::nullopt;
        }
        return HttpHead{.status = status,
                        .reason = reason,
                        .bodyLength = declaresLength ? toldLength.value_or(body.size())
                                                     : std::optional<uint64_t>()};
    }

    std::optional<size_t> Read(char* buffer, size_t capacity) override {
        if (!open || (failAt == Step::Read && bytesRead >= failReadAfter)) {
            return std::nullopt;
        }
        size_t count = std::min({capacity, blockSize, body.size() - bytesRead});
        if (failAt == Step::Read) {
            count = std::min(count, failReadAfter - bytesRead);
        }
        std::memcpy(buffer, body.data() + bytesRead, count);
        bytesRead += count;
        return count;
    }

    void Close() override {
        if (open) {
            calls.push_back("Close");
        }
        open = false;
    }

    std::string ErrorText() const override { return errorText; }
};
