// Reads the update server's answer from the HTTP client: its first line
// while the user is asked, then the rest whole into memory, so that the
// switch only ever gets an image that arrived completely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "firmware/http_client.h"

namespace firmware {

class AnswerReader {
  public:
    // WrongLength: the body ended, and not after the declared length (the
    // connection closed early, or the server sent more than it declared).
    enum class Status { Ok, Failed, TooLarge, WrongLength };

    // Bytes asked of the client per read.
    static constexpr size_t kBlockSize = 16 * 1024;

    // Neither the first line nor the rest may hold more than `limit` bytes;
    // a rest that the declared body length already puts over it is not read.
    // Without a declared length the body is whatever arrives.
    AnswerReader(HttpClient& client, std::optional<uint64_t> bodyLength, size_t limit)
        : client_(client), bodyLength_(bodyLength), limit_(limit) {}

    // The first line without line feed and carriage returns; empty when the
    // body is.
    Status ReadFirstLine(std::string& line);
    // The bytes of the body after the first line's line feed, as they came.
    Status ReadRest(std::string& rest);

    // The bytes of the body that arrived so far.
    uint64_t Received() const { return received_; }

  private:
    // Appends the next block to `into`; false on a failure.
    bool ReadBlock(std::string& into);
    // Whether the body ended at a length other than the declared one.
    bool EndedAtWrongLength() const;

    HttpClient& client_;
    const std::optional<uint64_t> bodyLength_;
    const size_t limit_;
    uint64_t received_ = 0;
    std::string pending_;  // read past the first line
    bool ended_ = false;
};

}  // namespace firmware
