// Our profile codec and the Windows profile-struct functions read each other's
// files. Every step works in a folder of its own, and the system's profile
// cache is flushed around each step, so no cached copy hides a file's bytes.
// (Wine's GetPrivateProfileStructA also takes values with extra characters
// after the checksum; ours, like Windows, does not, so such values are left
// out of the agreement checks.)
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "settings/profile_file.h"
#include "settings/settings_file.h"
#include "settings/test_files.h"

namespace {

constexpr char kFile[] = "./QVXSettings.ini";

struct KeyBlock {
    const char* key;
    std::vector<uint8_t> bytes;
};

std::vector<KeyBlock> SampleBlocks() {
    HotkeyTable table = DefaultHotkeyTable();
    table.entries[0].keyCode = 0x31;
    table.entries[0].modifiers = 0x06;
    SetEntryName(table.entries[0], "Office");
    SetEntryName(table.entries[3], std::string(29, 'D'));
    table.entries[4].keyCode = 0x52;
    table.entries[4].modifiers = 0x0B;
    table.entries[4].name.fill('\x7F');  // meaningless bytes, stored as they are
    const HotkeyTableBytes hotkeys = EncodeHotkeyTable(table);
    return {
        {"Hotkeys", std::vector<uint8_t>(hotkeys.begin(), hotkeys.end())},
        {"Language", {0x01, 0x00, 0x00, 0x00}},
        {"Timer", {0xF4, 0x01, 0x00, 0x00}},
    };
}

void FlushProfileCache() {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, kFile);
}

bool SystemWrite(const char* section, const char* key, std::vector<uint8_t> bytes) {
    const BOOL written = WritePrivateProfileStructA(section, key, bytes.data(),
                                                    static_cast<UINT>(bytes.size()), kFile);
    FlushProfileCache();
    return written != 0;
}

bool SystemRead(const char* section, const char* key, std::vector<uint8_t>& bytes) {
    FlushProfileCache();
    return GetPrivateProfileStructA(section, key, bytes.data(), static_cast<UINT>(bytes.size()),
                                    kFile) != 0;
}

std::string SystemReadString(const char* section, const char* key) {
    FlushProfileCache();
    char text[64] = {};
    GetPrivateProfileStringA(section, key, "", text, sizeof text, kFile);
    return text;
}

bool OurRead(const char* key, std::vector<uint8_t>& bytes) {
    return ReadProfileStruct("Settings", key, bytes, kFile);
}

}  // namespace

TEST(ProfileInterop, SystemWrittenFilesReadWithOurCodec) {
    TempFolder folder;
    WorkingDirectoryScope in(folder.Path());
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "Name", "kept", kFile));
    for (const auto& [key, bytes] : SampleBlocks()) {
        ASSERT_TRUE(SystemWrite("Settings", key, bytes)) << key;
    }
    for (const auto& [key, bytes] : SampleBlocks()) {
        std::vector<uint8_t> read(bytes.size());
        EXPECT_TRUE(OurRead(key, read)) << key;
        EXPECT_EQ(read, bytes) << key;
    }
    const Settings settings = LoadSettings();
    EXPECT_TRUE(settings.hotkeysStored);
    EXPECT_EQ(EntryName(settings.hotkeys.entries[0]), "Office");
    EXPECT_EQ(settings.language, 1);
    EXPECT_EQ(settings.rotateInterval, 500);
}

TEST(ProfileInterop, OurFilesReadWithTheSystemFunctions) {
    TempFolder folder;
    WorkingDirectoryScope in(folder.Path());
    for (const auto& [key, bytes] : SampleBlocks()) {
        ASSERT_TRUE(WriteProfileStruct("Settings", key, bytes, kFile)) << key;
    }
    for (const auto& [key, bytes] : SampleBlocks()) {
        std::vector<uint8_t> read(bytes.size());
        EXPECT_TRUE(SystemRead("Settings", key, read)) << key;
        EXPECT_EQ(read, bytes) << key;
    }
}

TEST(ProfileInterop, BothEditTheSameFile) {
    TempFolder folder;
    WorkingDirectoryScope in(folder.Path());
    const auto blocks = SampleBlocks();
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "Name", "kept", kFile));
    ASSERT_TRUE(SystemWrite("Settings", "Timer", {1, 0, 0, 0}));
    FlushProfileCache();

    // We replace one value and add two; the system sees all of them and the
    // other section.
    for (const auto& [key, bytes] : blocks) {
        ASSERT_TRUE(WriteProfileStruct("Settings", key, bytes, kFile)) << key;
    }
    for (const auto& [key, bytes] : blocks) {
        std::vector<uint8_t> read(bytes.size());
        EXPECT_TRUE(SystemRead("Settings", key, read)) << key;
        EXPECT_EQ(read, bytes) << key;
    }
    EXPECT_EQ(SystemReadString("Other", "Name"), "kept");

    // The system replaces a value in our file; we read it and our other
    // values.
    ASSERT_TRUE(SystemWrite("Settings", "Timer", {0x0A, 0, 0, 0}));
    std::vector<uint8_t> timer(4);
    EXPECT_TRUE(OurRead("Timer", timer));
    EXPECT_EQ(timer, (std::vector<uint8_t>{0x0A, 0, 0, 0}));
    std::vector<uint8_t> hotkeys(kHotkeyTableSize);
    EXPECT_TRUE(OurRead("Hotkeys", hotkeys));
    EXPECT_EQ(hotkeys, blocks[0].bytes);
}

TEST(ProfileInterop, BothAcceptAndRejectTheSameValues) {
    const std::pair<const char*, bool> cases[] = {
        {"0a0000000a", true},   // lower case
        {"0A0000000A", true},   //
        {"0B0000000A", false},  // wrong checksum
        {"0A000000", false},    // one byte short
        {"0G0000000A", false},  // not hex
    };
    for (const auto& [value, valid] : cases) {
        // A new file each time: nothing cached can stand in for it.
        TempFolder folder;
        WorkingDirectoryScope in(folder.Path());
        const std::string text = std::string("[Settings]\r\nTimer=") + value + "\r\n";
        WriteFileBytes("QVXSettings.ini", text);
        FlushProfileCache();
        std::vector<uint8_t> ours(4, 0xEE);
        std::vector<uint8_t> system(4, 0xEE);
        EXPECT_EQ(OurRead("Timer", ours), valid) << value;
        EXPECT_EQ(SystemRead("Settings", "Timer", system), valid) << value;
        if (valid) {
            EXPECT_EQ(ours, system) << value;
        }
    }
}

TEST(ProfileInterop, BothSplitLinesAndNameSectionsAlike) {
    const std::pair<const char*, std::string> files[] = {
        {"lone CRs", "[Settings]\rTimer=0A0000000A\r"},
        {"lone CR inside CR LF", "[Settings]\r\nLanguage=0000000000\rTimer=0A0000000A\r\n"},
        {"CR CR LF", "[Settings]\r\nTimer=0A0000000A\r\r\nLanguage=0000000000\r\n"},
        {"vertical tab and form feed", "[\vSettings\f]\r\n\fTimer\v=\f0A0000000A\v\r\n"},
        {"double bracket", "[Settings]]\r\nTimer=0A0000000A\r\n"},
        {"bracket inside", "[Settings]x]\r\nTimer=0A0000000A\r\n"},
    };
    for (const auto& [name, text] : files) {
        TempFolder folder;
        WorkingDirectoryScope in(folder.Path());
        WriteFileBytes("QVXSettings.ini", text);
        FlushProfileCache();
        for (const char* key : {"Timer", "Language"}) {
            std::vector<uint8_t> ours(4, 0xEE);
            std::vector<uint8_t> system(4, 0xEE);
            const bool systemRead = SystemRead("Settings", key, system);
            EXPECT_EQ(OurRead(key, ours), systemRead) << name << ", " << key;
            EXPECT_EQ(ours, system) << name << ", " << key;
        }
    }
}

TEST(ProfileInterop, OurWritesKeepWhatTheSystemReads) {
    TempFolder folder;
    WorkingDirectoryScope in(folder.Path());
    // The system's own file for a section named "Settings]".
    ASSERT_TRUE(SystemWrite("Settings]", "Timer", {0x0A, 0, 0, 0}));
    EXPECT_EQ(ReadFileBytes("QVXSettings.ini"), "[Settings]]\r\nTimer=0A0000000A\r\n");
    ASSERT_TRUE(WriteProfileStruct("Settings", "Timer", std::vector<uint8_t>{1, 0, 0, 0}, kFile));
    std::vector<uint8_t> timer(4);
    EXPECT_TRUE(SystemRead("Settings]", "Timer", timer));
    EXPECT_EQ(timer, (std::vector<uint8_t>{0x0A, 0, 0, 0}));
    EXPECT_TRUE(SystemRead("Settings", "Timer", timer));
    EXPECT_EQ(timer, (std::vector<uint8_t>{1, 0, 0, 0}));

    // A last line ending in a lone CR: after our write the system still reads
    // the key on it, and so do we.
    WriteFileBytes("QVXSettings.ini", "[Settings]\r\nLanguage=0000000000\r");
    FlushProfileCache();
    ASSERT_TRUE(
        WriteProfileStruct("Settings", "Timer", std::vector<uint8_t>{0x0A, 0, 0, 0}, kFile));
    for (const char* key : {"Language", "Timer"}) {
        std::vector<uint8_t> ours(4, 0xEE);
        std::vector<uint8_t> system(4, 0xEE);
        EXPECT_TRUE(SystemRead("Settings", key, system)) << key;
        EXPECT_TRUE(OurRead(key, ours)) << key;
        EXPECT_EQ(ours, system) << key;
    }
}
