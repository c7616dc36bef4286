#include "settings/hotkey_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "settings/profile_struct.h"

namespace {

// Entry by entry: Ctrl+Alt+1 "Office"; "Port B" without a key; F1 with
// Shift and the extended-key flag and a 29-byte name; nothing; Ctrl+Shift+R
// for the rotation.
const std::string kSampleTableValue =
    "310006004F6666696365000000000000000000000000000000000000000000000000"
    "00000000506F72742042000000000000000000000000000000000000000000000000"
    "700009004142434445464748494A4B4C4D4E4F505152535455565758595A30313200"
    "00000000000000000000000000000000000000000000000000000000000000000000"
    "52000300000000000000000000000000000000000000000000000000000000000000"
    "CA";

HotkeyTable SampleTable() {
    HotkeyTable table;
    table.entries[0].keyCode = 0x31;
    table.entries[0].modifiers = 0x06;
    SetEntryName(table.entries[0], "Office");
    SetEntryName(table.entries[1], "Port B");
    table.entries[2].keyCode = 0x70;
    table.entries[2].modifiers = 0x09;
    SetEntryName(table.entries[2], "ABCDEFGHIJKLMNOPQRSTUVWXYZ012");
    table.entries[4].keyCode = 0x52;
    table.entries[4].modifiers = 0x03;
    return table;
}

}  // namespace

TEST(HotkeyTable, EncodesEntriesBackToBackLittleEndian) {
    const HotkeyTableBytes bytes = EncodeHotkeyTable(SampleTable());
    // Entry 0: 31 00 06 00, "Office", NUL.
    const uint8_t office[] = {0x31, 0x00, 0x06, 0x00, 'O', 'f', 'f', 'i', 'c', 'e', 0x00};
    EXPECT_TRUE(std::equal(std::begin(office), std::end(office), bytes.begin()));
    // Entry 4 starts at byte 136.
    EXPECT_EQ(bytes[136], 0x52);
    EXPECT_EQ(bytes[138], 0x03);
    // The 29-byte name of entry 2 ends with its NUL in the field's last byte (68 + 33).
    EXPECT_EQ(bytes[100], '2');
    EXPECT_EQ(bytes[101], 0x00);

    EXPECT_EQ(EncodeProfileStruct(bytes), kSampleTableValue);
}

TEST(HotkeyTable, DecodesStoredBytes) {
    HotkeyTableBytes bytes{};
    ASSERT_TRUE(DecodeProfileStruct(kSampleTableValue, bytes));
    EXPECT_EQ(DecodeHotkeyTable(bytes), SampleTable());

    // High bytes of both words count; they are never dropped.
    bytes[0] = 0x34;
    bytes[1] = 0x12;
    bytes[3] = 0x80;
    const HotkeyTable table = DecodeHotkeyTable(bytes);
    EXPECT_EQ(table.entries[0].keyCode, 0x1234);
    EXPECT_EQ(table.entries[0].modifiers, 0x8006);
}

TEST(HotkeyTable, NameWithoutNulIsCutToItsFirst29Bytes) {
    HotkeyTableBytes bytes{};
    std::fill(bytes.begin() + 4, bytes.begin() + 34, 'x');
    const HotkeyTable table = DecodeHotkeyTable(bytes);
    EXPECT_EQ(EntryName(table.entries[0]), std::string(29, 'x'));
    EXPECT_EQ(table.entries[0].name[29], '\0');
}

TEST(HotkeyTable, NamesKeepTheirNulInsideTheField) {
    HotkeyEntry entry;
    SetEntryName(entry, std::string(29, 'n'));
    EXPECT_EQ(EntryName(entry), std::string(29, 'n'));
    EXPECT_EQ(entry.name[29], '\0');

    SetEntryName(entry, "a name that is much longer than the field holds");
    EXPECT_EQ(EntryName(entry), "a name that is much longer th");
    EXPECT_EQ(entry.name[29], '\0');

    // A shorter name leaves nothing of the longer one behind.
    SetEntryName(entry, "TV");
    EXPECT_EQ(EntryName(entry), "TV");
    EXPECT_TRUE(std::all_of(entry.name.begin() + 2, entry.name.end(), [](char c) { return !c; }));

    SetEntryName(entry, std::string_view("AB\0CD", 5));
    EXPECT_EQ(EntryName(entry), "AB");
    SetEntryName(entry, "");
    EXPECT_EQ(EntryName(entry), "");
}

TEST(HotkeyTable, DefaultNames) {
    EXPECT_EQ(DefaultPortName(0), "Port A");
    EXPECT_EQ(DefaultPortName(1), "Port B");
    EXPECT_EQ(DefaultPortName(2), "Port C");
    EXPECT_EQ(DefaultPortName(3), "Port D");

    HotkeyEntry entry;
    SetEntryName(entry, "Port A");
    EXPECT_TRUE(HasDefaultName(entry, 0));
    EXPECT_FALSE(HasDefaultName(entry, 1));
    SetEntryName(entry, "Port A ");
    EXPECT_FALSE(HasDefaultName(entry, 0));
    SetEntryName(entry, "port a");
    EXPECT_FALSE(HasDefaultName(entry, 0));

    const HotkeyTable table = DefaultHotkeyTable();
    for (std::size_t port = 0; port < 4; ++port) {
        EXPECT_TRUE(HasDefaultName(table.entries[port], port));
    }
    // No keys at all; the rotation entry is empty.
    for (const HotkeyEntry& entry : table.entries) {
        EXPECT_EQ(entry.keyCode, 0);
        EXPECT_EQ(entry.modifiers, 0);
    }
    EXPECT_EQ(EntryName(table.entries[4]), "");
}
