#include "firmware/answer_reader.h"

#include <algorithm>

#include "firmware/update_query.h"

namespace firmware {

bool AnswerReader::ReadBlock(std::string& into) {
    const size_t used = into.size();
    into.resize(used + kBlockSize);
    const std::optional<size_t> read = client_.Read(into.data() + used, kBlockSize);
    into.resize(used + (read ? std::min(*read, kBlockSize) : 0));
    if (!read) {
        return false;
    }
    received_ += into.size() - used;
    ended_ = *read == 0;
    return true;
}

bool AnswerReader::EndedAtWrongLength() const {
    return ended_ && bodyLength_ && received_ != *bodyLength_;
}

AnswerReader::Status AnswerReader::ReadFirstLine(std::string& line) {
    size_t searched = 0;
    for (;;) {
        const size_t end = pending_.find(kLineFeed, searched);
        if (end != std::string::npos) {
            line = WithoutCarriageReturns(std::string_view(pending_).substr(0, end));
            pending_.erase(0, end + 1);
            return Status::Ok;
        }
        if (EndedAtWrongLength()) {
            return Status::WrongLength;
        }
        if (ended_) {
            line = WithoutCarriageReturns(pending_);
            pending_.clear();
            return Status::Ok;
        }
        if (pending_.size() > limit_) {
            return Status::TooLarge;
        }
        searched = pending_.size();
        if (!ReadBlock(pending_)) {
            return Status::Failed;
        }
    }
}

AnswerReader::Status AnswerReader::ReadRest(std::string& rest) {
    const uint64_t taken = received_ - pending_.size();
    if (bodyLength_ && *bodyLength_ > taken && *bodyLength_ - taken > limit_) {
        return Status::TooLarge;
    }
    rest = std::move(pending_);
    pending_.clear();
    while (!ended_) {
        if (rest.size() > limit_) {
            return Status::TooLarge;
        }
        if (!ReadBlock(rest)) {
            return Status::Failed;
        }
    }
    if (rest.size() > limit_) {
        return Status::TooLarge;
    }
    return EndedAtWrongLength() ? Status::WrongLength : Status::Ok;
}

}  // namespace firmware
