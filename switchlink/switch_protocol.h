// The numbers of the switch's report protocol. The switch is reached through
// the special-mode interface of its USB controller: report 8 enables the
// serial-peripheral channel, report 9 is one transfer over it, and the
// transfers carry the switch's own commands and answers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "hid/iowkit2.h"

namespace switchlink {

// Every request is built in a zeroed buffer of this size; the layer sends the
// pipe's output report length of it.
inline constexpr size_t kReportBufferSize = kIowKit2ReportSize;
using ReportBuffer = std::array<uint8_t, kReportBufferSize>;

// The pipe of the controller's special-mode interface.
inline constexpr unsigned kSwitchPipe = 1;

// Byte positions, in requests and answers alike.
inline constexpr size_t kReportIdByte = 0;
inline constexpr size_t kControlByte = 1;  // channel enable flag, or transfer control
inline constexpr size_t kPayloadByte = 2;  // first payload byte: command or answer code
inline constexpr size_t kValue1Byte = 3;   // first argument, or first answer value
inline constexpr size_t kValue2Byte = 4;
inline constexpr size_t kValue3Byte = 5;

// Report ids.
inline constexpr uint8_t kChannelEnableReportId = 8;
inline constexpr uint8_t kTransferReportId = 9;

// Channel-enable report: [8, 1, 3].
inline constexpr uint8_t kChannelEnable = 1;
inline constexpr uint8_t kChannelModeSettings = 3;

// Transfer control (byte 1): the number of payload bytes, plus flags on the
// reports of a firmware record.
inline constexpr uint8_t kCommandPayloadLength = 4;
inline constexpr uint8_t kOneBytePayloadLength = 1;
inline constexpr uint8_t kRecordReportFlag = 0x80;     // every report of a record
inline constexpr uint8_t kRecordContinuesFlag = 0x40;  // every report of a record but its last
inline constexpr size_t kRecordChunkSize = 6;          // record bytes per data chunk
// A record header's payload: type and length, plus a 0 for an S0 record.
// The length is one byte: no longer record can be told to the switch.
inline constexpr size_t kMaxRecordLength = 255;
inline constexpr uint8_t kRecordHeaderPayloadLength = 2;
inline constexpr uint8_t kS0RecordHeaderPayloadLength = 3;

// Commands (byte 2 of a 4-byte payload).
inline constexpr uint8_t kCommandQueryFirmwareVersion = 0;
inline constexpr uint8_t kCommandQueryPort = 2;
inline constexpr uint8_t kCommandQueryDeviceType = 3;
inline constexpr uint8_t kCommandFollowUp = 7;  // repeats the query it follows
inline constexpr uint8_t kCommandSetPort = 11;
inline constexpr uint8_t kCommandQueryRecordStatus = 255;

// One-byte commands of the firmware transfer.
inline constexpr uint8_t kCommandFirmwareTransfer = 8;       // opens and begins closing it
inline constexpr uint8_t kCommandFirmwareTransferEnd = 254;  // follows the 8 at the end

// The record type whose header carries a third payload byte (an S0 record).
inline constexpr uint8_t kRecordTypeS0 = 240;

// Answer codes (byte 2 of an input report).
inline constexpr uint8_t kAnswerFirmwareVersion = 0;
inline constexpr uint8_t kAnswerPortState = 2;
inline constexpr uint8_t kAnswerDeviceType = 3;
inline constexpr uint8_t kAnswerRecordStatus = 255;

// The four ports A to D are numbered 0 to 3.
inline constexpr uint32_t kPortCount = 4;

// Wait after every record chunk and between a status query and its follow-up.
inline constexpr unsigned kRecordPauseMilliseconds = 1;

}  // namespace switchlink
