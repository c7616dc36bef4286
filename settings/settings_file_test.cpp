#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/profile_struct.h"
#include "settings/test_files.h"

TEST(SettingsFile, MissingFileGivesDefaults) {
    TempFolder folder;
    const std::string file = folder.File("QVXSettings.ini");
    const Settings settings = LoadSettings(file);
    EXPECT_FALSE(settings.hotkeysStored);
    EXPECT_EQ(settings.language, 1);
    EXPECT_EQ(settings.rotateInterval, 10);
    // No keys; ports named "Port A" to "Port D"; an empty rotation entry.
    EXPECT_EQ(EncodeProfileStruct(EncodeHotkeyTable(settings.hotkeys)),
              "00000000506F72742041000000000000000000000000000000000000000000000000"
              "00000000506F72742042000000000000000000000000000000000000000000000000"
              "00000000506F72742043000000000000000000000000000000000000000000000000"
              "00000000506F72742044000000000000000000000000000000000000000000000000"
              "00000000000000000000000000000000000000000000000000000000000000000000"
              "1E");
    EXPECT_FALSE(StartsInGerman(file));
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(SettingsFile, LanguageChoosesGermanOnlyForZero) {
    TempFolder folder;
    const std::string file = folder.File("QVXSettings.ini");
    const std::pair<const char*, int32_t> cases[] = {
        {"0000000000", 0}, {"0100000001", 1}, {"0500000005", 5}, {"FFFFFFFFFC", -1}};
    for (const auto& [value, language] : cases) {
        WriteFileBytes(file, std::string("[Settings]\r\nLanguage=") + value + "\r\n");
        EXPECT_EQ(ReadLanguage(file), language) << value;
        EXPECT_EQ(LoadSettings(file).language, language) << value;
        EXPECT_EQ(StartsInGerman(file), language == 0) << value;
    }
    // Ten zeros with a broken checksum are no German.
    WriteFileBytes(file, "[Settings]\r\nLanguage=0000000001\r\n");
    EXPECT_FALSE(StartsInGerman(file));
    EXPECT_EQ(LoadSettings(file).language, 1);

    ASSERT_TRUE(SaveLanguage(0, file));
    EXPECT_EQ(ReadFileBytes(file), "[Settings]\r\nLanguage=0000000000\r\n");
    ASSERT_TRUE(SaveLanguage(1, file));
    EXPECT_EQ(ReadFileBytes(file), "[Settings]\r\nLanguage=0100000001\r\n");
}

TEST(SettingsFile, SavesHotkeysThenTimer) {
    TempFolder folder;
    const std::string file = folder.File("QVXSettings.ini");
    HotkeyTable table = DefaultHotkeyTable();
    table.entries[0].keyCode = 0x31;
    table.entries[0].modifiers = 0x06;
    SetEntryName(table.entries[0], "Office");
    ASSERT_TRUE(SaveHotkeysAndInterval(table, 10, file));
    EXPECT_EQ(ReadFileBytes(file),
              "[Settings]\r\n"
              "Hotkeys="
              "310006004F6666696365000000000000000000000000000000000000000000000000"
              "00000000506F72742042000000000000000000000000000000000000000000000000"
              "00000000506F72742043000000000000000000000000000000000000000000000000"
              "00000000506F72742044000000000000000000000000000000000000000000000000"
              "00000000000000000000000000000000000000000000000000000000000000000000"
              "9B\r\n"
              "Timer=0A0000000A\r\n");

    const Settings settings = LoadSettings(file);
    EXPECT_TRUE(settings.hotkeysStored);
    EXPECT_EQ(settings.hotkeys, table);
    EXPECT_EQ(settings.rotateInterval, 10);
    EXPECT_EQ(settings.language, 1);

    // Saving the same content again writes the same bytes.
    const std::string first = ReadFileBytes(file);
    ASSERT_TRUE(SaveHotkeysAndInterval(table, 10, file));
    EXPECT_EQ(ReadFileBytes(file), first);
}

TEST(SettingsFile, DamagedKeysFallBackOneByOne) {
    TempFolder folder;
    const std::string file = folder.File("QVXSettings.ini");
    // One wrong digit in the hotkey table (31 became 32); an interval outside
    // the page's range is kept as stored.
    WriteFileBytes(file,
                   "[Settings]\r\n"
                   "Hotkeys="
                   "320006004F6666696365000000000000000000000000000000000000000000000000"
                   "00000000506F72742042000000000000000000000000000000000000000000000000"
                   "00000000506F72742043000000000000000000000000000000000000000000000000"
                   "00000000506F72742044000000000000000000000000000000000000000000000000"
                   "00000000000000000000000000000000000000000000000000000000000000000000"
                   "9B\r\n"
                   "Timer=E8030000EB\r\n"
                   "Language=0000000000\r\n");
    Settings settings = LoadSettings(file);
    EXPECT_FALSE(settings.hotkeysStored);
    EXPECT_EQ(settings.hotkeys, DefaultHotkeyTable());
    EXPECT_EQ(settings.rotateInterval, 1000);
    EXPECT_EQ(settings.language, 0);

    // One byte short.
    WriteFileBytes(file, "[Settings]\r\nTimer=0A000000\r\n");
    EXPECT_FALSE(ReadRotateInterval(file));
    EXPECT_EQ(LoadSettings(file).rotateInterval, 10);
    WriteFileBytes(file, "[Settings]\r\nTimer=0000000000\r\n");
    EXPECT_EQ(LoadSettings(file).rotateInterval, 0);
}

TEST(SettingsFile, FollowsTheWorkingDirectory) {
    TempFolder first;
    TempFolder second;
    {
        WorkingDirectoryScope in(first.Path());
        ASSERT_TRUE(SaveLanguage(0));
    }
    {
        WorkingDirectoryScope in(second.Path());
        EXPECT_FALSE(ReadLanguage());
        ASSERT_TRUE(SaveLanguage(1));
        EXPECT_EQ(ReadLanguage(), 1);
    }
    {
        WorkingDirectoryScope in(first.Path());
        EXPECT_EQ(ReadLanguage(), 0);
    }
    EXPECT_EQ(ReadFileBytes((first.Path() / "QVXSettings.ini").string()),
              "[Settings]\r\nLanguage=0000000000\r\n");
    EXPECT_EQ(ReadFileBytes((second.Path() / "QVXSettings.ini").string()),
              "[Settings]\r\nLanguage=0100000001\r\n");
}
