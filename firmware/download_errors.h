// The texts of a check that ends before the switch hears of a transfer: an
// update server's error status, a download that is not whole, an image that
// is too large, damaged, incomplete, empty or holds a record too long for the
// switch.
#pragma once

#include <cstdint>
#include <string>

#include "firmware/http_client.h"
#include "firmware/srecord_check.h"

namespace firmware {

inline constexpr char kImageTooLarge[] =
    "The firmware image is larger than 16 MiB. Nothing was sent to the switch.";
inline constexpr char kAnswerTooLarge[] = "The update server's answer is too large.";

// Whether the status is a success (2xx).
bool IsSuccessStatus(unsigned status);
// "The update server answered 404 Not Found".
std::string StatusText(const HttpHead& head);
// A body that ended at another length than the declared one.
std::string WrongLengthText(uint64_t received, uint64_t declared);
// An image that CheckImage did not find in order.
std::string ImageFaultText(const ImageCheck& check);

}  // namespace firmware
