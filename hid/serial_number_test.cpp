#include "hid/serial_number.h"

#include <gtest/gtest.h>

#include "hid/sim/sim_bus.h"

namespace {

template <size_t N>
void Fill(char16_t (&field)[kIowKit2SerialUnits], const char16_t (&text)[N]) {
    for (unsigned i = 0; i < kIowKit2SerialUnits; ++i) {
        field[i] = i < N ? text[i] : 0;
    }
}

uint32_t Parse(const std::u16string& text) {
    char16_t field[kIowKit2SerialUnits] = {};
    for (size_t i = 0; i < text.size() && i < kIowKit2SerialUnits; ++i) {
        field[i] = text[i];
    }
    return IowKit2ParseSerialNumber(field);
}

TEST(SerialNumber, ParsesLikeHexScanf) {
    EXPECT_EQ(Parse(u"1A2B3C4D"), 0x1A2B3C4Du);
    EXPECT_EQ(Parse(u"00001234"), 0x1234u);
    EXPECT_EQ(Parse(u"abcdef"), 0xABCDEFu);
    EXPECT_EQ(Parse(u""), 0u);
    EXPECT_EQ(Parse(u"XYZ"), 0u);
    EXPECT_EQ(Parse(u"  12G4"), 0x12u);  // blanks skipped, stops at the first non-digit
    EXPECT_EQ(Parse(u"0x1F"), 0x1Fu);
    EXPECT_EQ(Parse(u"-1"), 0xFFFFFFFFu);
    EXPECT_EQ(Parse(u"123456789"), 0x23456789u);  // nine digits wrap to 32 bits
}

TEST(SerialNumber, UsesTheLowByteOfEachUnitUpToTheFirstZero) {
    char16_t field[kIowKit2SerialUnits];
    Fill(field, u"\u0131\u0142Z9");  // low bytes "1", "B", then 'Z' ends the number
    EXPECT_EQ(IowKit2ParseSerialNumber(field), 0x1Bu);
    // All nine units are used: there is no room for a terminator.
    Fill(field, u"FFFFFFFFF");
    EXPECT_EQ(IowKit2ParseSerialNumber(field), 0xFFFFFFFFu);
}

class SerialRead : public ::testing::Test {
  protected:
    char16_t Read(const hidsim::InterfaceDescription& description,
                  char16_t (&field)[kIowKit2SerialUnits]) {
        auto device = bus_->Plug(hidsim::DeviceDescription{{description}});
        auto probe = platform_->OpenProbe(device->GetInterface(0).Path());
        EXPECT_TRUE(probe);
        field[0] = u'?';
        IowKit2ReadSerialNumber(*probe, field);
        return field[0];
    }

    std::shared_ptr<hidsim::Bus> bus_ = hidsim::Bus::Make();
    std::unique_ptr<IowKit2Platform> platform_ = bus_->MakePlatform();
};

TEST_F(SerialRead, KeepsTheSerialString) {
    hidsim::InterfaceDescription description;
    description.serialNumber = u"1A2B3C4D";
    description.indexedStrings[0] = u"\u0409";
    char16_t field[kIowKit2SerialUnits];
    Read(description, field);
    EXPECT_EQ(std::u16string(field, 8), u"1A2B3C4D");
    EXPECT_EQ(field[8], 0);
}

TEST_F(SerialRead, NoSerialOrOneEqualToStringZeroGivesAZeroField) {
    char16_t field[kIowKit2SerialUnits];
    hidsim::InterfaceDescription none;
    Read(none, field);
    EXPECT_EQ(std::u16string(field, kIowKit2SerialUnits), std::u16string(9, u'\0'));

    hidsim::InterfaceDescription sameAsStringZero;
    sameAsStringZero.serialNumber = u"\u0409";
    sameAsStringZero.indexedStrings[0] = u"\u0409";
    Read(sameAsStringZero, field);
    EXPECT_EQ(std::u16string(field, kIowKit2SerialUnits), std::u16string(9, u'\0'));
}

}  // namespace
