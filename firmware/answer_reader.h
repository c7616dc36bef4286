// Reads the update server's answer from the HTTP client: its first line
// while the user is asked, then the rest whole into memory, so that the
// switch only ever gets an image that arrived completely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "firmware/http_client.h"

namespace firmware {

class AnswerReader {
  public:
    enum class Status { Ok, Failed, TooLarge };

    // Bytes asked of the client per read.
    static constexpr size_t kBlockSize = 16 * 1024;

    // Neither the first line nor the rest may hold more than `limit` bytes;
    // a rest that the told body length already puts over it is not read.
    AnswerReader(HttpClient& client, uint64_t bodyLength, size_t limit)
        : client_(client), bodyLength_(bodyLength), limit_(limit) {}

    // The first line without line feed and carriage returns; empty when the
    // body is.
    Status ReadFirstLine(std::string& line);
    // The bytes of the body after the first line's line feed, as they came.
    Status ReadRest(std::string& rest);

  private:
    // Appends the next block to `into`; false on a failure.
    bool ReadBlock(std::string& into);

    HttpClient& client_;
    const uint64_t bodyLength_;
    const size_t limit_;
    uint64_t received_ = 0;
    std::string pending_;  // read past the first line
    bool ended_ = false;
};

}  // namespace firmware
