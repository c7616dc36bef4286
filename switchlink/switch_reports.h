// Builders of every request sent to the switch. Each returns a whole zeroed
// 64-byte buffer with the request in its first bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "switchlink/switch_protocol.h"

namespace switchlink {

// [8, 1, 3]: opens the channel to the switch, once per connection.
ReportBuffer ChannelEnableReport();

// [9, 4, command]: a query; sent twice, the second time as its follow-up.
ReportBuffer QueryReport(uint8_t command);
// The query's own report with byte 2 changed to the follow-up command.
ReportBuffer FollowUpReport(ReportBuffer query);

// [9, 4, 11, port, second port].
ReportBuffer SetPortReport(uint8_t port, uint8_t secondPort);

// [9, 1, command]: the one-byte commands of the firmware transfer.
ReportBuffer OneByteCommandReport(uint8_t command);

// A firmware record on the wire: the header, then the record's bytes in
// chunks of up to six. The header carries the low 8 bits of the length.
// Bytes past a chunk's count are zero.
std::vector<ReportBuffer> FirmwareRecordReports(std::string_view record, uint8_t recordType);

}  // namespace switchlink
