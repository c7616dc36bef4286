#include "settings/profile_struct.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

using Int32Bytes = std::array<uint8_t, 4>;

}  // namespace

TEST(ProfileStruct, EncodesBytesThenChecksumInUpperCaseHex) {
    EXPECT_EQ(EncodeProfileStruct(Int32Bytes{0x0A, 0, 0, 0}), "0A0000000A");
    EXPECT_EQ(EncodeProfileStruct(Int32Bytes{0, 0, 0, 0}), "0000000000");
    EXPECT_EQ(EncodeProfileStruct(Int32Bytes{1, 0, 0, 0}), "0100000001");
    // The checksum wraps modulo 256.
    EXPECT_EQ(EncodeProfileStruct(Int32Bytes{0xFF, 0xFF, 0xFF, 0xFF}), "FFFFFFFFFC");
    EXPECT_EQ(EncodeProfileStruct(Int32Bytes{0xF4, 0x01, 0, 0}), "F4010000F5");
    EXPECT_EQ(EncodeProfileStruct(std::array<uint8_t, 2>{0xAB, 0xCD}), "ABCD78");
}

TEST(ProfileStruct, DecodesOnlyExactLengthHexWithMatchingChecksum) {
    Int32Bytes block{};
    EXPECT_TRUE(DecodeProfileStruct("0A0000000A", block));
    EXPECT_EQ(block, (Int32Bytes{0x0A, 0, 0, 0}));
    EXPECT_TRUE(DecodeProfileStruct("f4010000f5", block));
    EXPECT_EQ(block, (Int32Bytes{0xF4, 0x01, 0, 0}));
    EXPECT_TRUE(DecodeProfileStruct("fFfFFFFFfc", block));
    EXPECT_EQ(block, (Int32Bytes{0xFF, 0xFF, 0xFF, 0xFF}));

    // Every failure leaves the block as it was.
    const Int32Bytes before{1, 2, 3, 4};
    for (const char* bad : {
             "0B0000000A",    // one wrong digit: checksum mismatch
             "0A0000000B",    // wrong checksum digit
             "0A000000",      // one byte short
             "0A0000000A00",  // one byte long
             "0A0000000",     // odd length
             "",              // empty
             "0G0000000G",    // not hex
             "0A 000000A",    // a blank inside
             "+A0000000A",    // sign
         }) {
        block = before;
        EXPECT_FALSE(DecodeProfileStruct(bad, block)) << bad;
        EXPECT_EQ(block, before) << bad;
    }
    block = before;
    EXPECT_FALSE(DecodeProfileStruct(std::string_view("0A\0000000A", 10), block));
    EXPECT_EQ(block, before);
}
