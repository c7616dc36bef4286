#include "firmware/update_server/srecord_image.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace updateserver {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::string_view kLineEnd = "\r\n";
constexpr size_t kAddressBytes = 2;
constexpr size_t kChecksumBytes = 1;

void AppendHex(std::string& line, uint8_t byte) {
    line.push_back(kHexDigits[byte >> 4]);
    line.push_back(kHexDigits[byte & 0x0F]);
}

// One record: type, byte count, 16-bit address, data, and the checksum, the
// ones' complement of the low byte of the sum of count, address and data.
std::string Record(char type, uint16_t address, const std::vector<uint8_t>& data) {
    const auto count = static_cast<uint8_t>(kAddressBytes + data.size() + kChecksumBytes);
    const auto high = static_cast<uint8_t>(address >> 8);
    const auto low = static_cast<uint8_t>(address & 0xFF);
    unsigned sum = count + high + low;
    std::string line{'S', type};
    AppendHex(line, count);
    AppendHex(line, high);
    AppendHex(line, low);
    for (uint8_t byte : data) {
        AppendHex(line, byte);
        sum += byte;
    }
    AppendHex(line, static_cast<uint8_t>(~sum & 0xFF));
    line += kLineEnd;
    return line;
}

// Firmware-like bytes that differ from record to record.
uint8_t PatternByte(size_t address) {
    return static_cast<uint8_t>((address * 7) ^ (address >> 8));
}

}  // namespace

std::string MakeSRecordImage(std::string_view header, size_t size) {
    size = std::min(size, kMaxS1ImageSize);
    std::string image = Record('0', 0, std::vector<uint8_t>(header.begin(), header.end()));
    for (size_t address = 0; address < size; address += kBytesPerRecord) {
        std::vector<uint8_t> data;
        for (size_t at = address; at < std::min(size, address + kBytesPerRecord); ++at) {
            data.push_back(PatternByte(at));
        }
        image += Record('1', static_cast<uint16_t>(address), data);
    }
    image += Record('9', 0, {});
    return image;
}

}  // namespace updateserver
