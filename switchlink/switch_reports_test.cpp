#include "switchlink/switch_reports.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace switchlink {
namespace {

// A 64-byte buffer holding the given bytes, zero after them.
ReportBuffer Padded(std::initializer_list<uint8_t> bytes) {
    ReportBuffer buffer{};
    std::copy(bytes.begin(), bytes.end(), buffer.begin());
    return buffer;
}

TEST(SwitchReports, Requests) {
    EXPECT_EQ(ChannelEnableReport(), Padded({8, 1, 3}));
    EXPECT_EQ(QueryReport(2), Padded({9, 4, 2}));
    EXPECT_EQ(QueryReport(0), Padded({9, 4, 0}));
    EXPECT_EQ(QueryReport(3), Padded({9, 4, 3}));
    EXPECT_EQ(QueryReport(255), Padded({9, 4, 255}));
    EXPECT_EQ(FollowUpReport(Padded({9, 4, 2})), Padded({9, 4, 7}));
    EXPECT_EQ(SetPortReport(2, 2), Padded({9, 4, 11, 2, 2}));
    EXPECT_EQ(SetPortReport(0, 1), Padded({9, 4, 11, 0, 1}));
    EXPECT_EQ(OneByteCommandReport(8), Padded({9, 1, 8}));
    EXPECT_EQ(OneByteCommandReport(254), Padded({9, 1, 254}));
}

TEST(SwitchReports, EmptyRecordsAreJustTheirHeader) {
    EXPECT_EQ(FirmwareRecordReports("", 241), std::vector<ReportBuffer>{Padded({9, 0xC2, 241, 0})});
    EXPECT_EQ(FirmwareRecordReports("", 240),
              std::vector<ReportBuffer>{Padded({9, 0xC3, 0xF0, 0, 0})});
}

TEST(SwitchReports, RecordsAreChunkedBySix) {
    EXPECT_EQ(
        FirmwareRecordReports("S0", 240),
        (std::vector<ReportBuffer>{Padded({9, 0xC3, 0xF0, 2, 0}), Padded({9, 0x82, 'S', '0'})}));
    // Exactly six remaining is the last chunk.
    EXPECT_EQ(FirmwareRecordReports("ABCDEF", 242),
              (std::vector<ReportBuffer>{Padded({9, 0xC2, 242, 6}),
                                         Padded({9, 0x86, 'A', 'B', 'C', 'D', 'E', 'F'})}));
    EXPECT_EQ(FirmwareRecordReports("ABCDEFG", 241),
              (std::vector<ReportBuffer>{Padded({9, 0xC2, 241, 7}),
                                         Padded({9, 0xC6, 'A', 'B', 'C', 'D', 'E', 'F'}),
                                         Padded({9, 0x81, 'G'})}));
    EXPECT_EQ(FirmwareRecordReports("ABCDEFGHIJKL", 241),
              (std::vector<ReportBuffer>{Padded({9, 0xC2, 241, 12}),
                                         Padded({9, 0xC6, 'A', 'B', 'C', 'D', 'E', 'F'}),
                                         Padded({9, 0x86, 'G', 'H', 'I', 'J', 'K', 'L'})}));
    EXPECT_EQ(FirmwareRecordReports("ABCDEFGHIJKLM", 240),
              (std::vector<ReportBuffer>{
                  Padded({9, 0xC3, 0xF0, 13, 0}), Padded({9, 0xC6, 'A', 'B', 'C', 'D', 'E', 'F'}),
                  Padded({9, 0xC6, 'G', 'H', 'I', 'J', 'K', 'L'}), Padded({9, 0x81, 'M'})}));
}

TEST(SwitchReports, LongRecordsCarryTheLowLengthByteAndEveryByte) {
    std::string record;
    for (int i = 0; i < 301; ++i) {
        record += static_cast<char>('0' + i % 10);
    }
    const std::vector<ReportBuffer> reports = FirmwareRecordReports(record, 242);
    ASSERT_EQ(reports.size(), 52u);                     // header, 50 full chunks, 1 byte left
    EXPECT_EQ(reports[0], Padded({9, 0xC2, 242, 45}));  // 301 = 0x12D

    std::string sent;
    for (size_t i = 1; i < reports.size(); ++i) {
        const bool last = i + 1 == reports.size();
        EXPECT_EQ(reports[i][0], 9);
        EXPECT_EQ(reports[i][1], last ? 0x81 : 0xC6) << "chunk " << i;
        sent.append(reports[i].begin() + 2, reports[i].begin() + 2 + (last ? 1 : 6));
    }
    EXPECT_EQ(sent, record);
}

}  // namespace
}  // namespace switchlink
