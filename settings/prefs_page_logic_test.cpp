#include "settings/prefs_page_logic.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/test_files.h"

using namespace std::string_literals;

TEST(PrefsPageLogic, StatusTexts) {
    EXPECT_EQ(SwitchStatusTexts{}, (SwitchStatusTexts{"-", "-", "-"}));
    EXPECT_EQ(FormatSwitchStatus(0x1A2B, 0x100, "1.7"),
              (SwitchStatusTexts{"00001A2B", "00000100", "1.7"}));
    EXPECT_EQ(FormatSwitchStatus(0xFFFFFFFF, 0xABCDEF, "12.34"),
              (SwitchStatusTexts{"FFFFFFFF", "00ABCDEF", "12.34"}));
}

TEST(PrefsPageLogic, LanguageListSelectionAndChoice) {
    EXPECT_EQ(LanguageListIndex(0), 0);
    EXPECT_EQ(LanguageListIndex(1), 1);
    EXPECT_EQ(LanguageListIndex(7), std::nullopt);
    EXPECT_EQ(LanguageListIndex(-1), std::nullopt);

    TempFolder folder;
    const std::string file = folder.File("QVXSettings.ini");
    ASSERT_TRUE(SaveLanguageChoice(1, file));
    EXPECT_EQ(ReadFileBytes(file), "[Settings]\r\nLanguage=0100000001\r\n");
    ASSERT_TRUE(SaveLanguageChoice(0, file));
    EXPECT_EQ(ReadFileBytes(file), "[Settings]\r\nLanguage=0000000000\r\n");
    // No selection writes nothing.
    EXPECT_FALSE(SaveLanguageChoice(-1, file));
    EXPECT_FALSE(SaveLanguageChoice(2, file));
    EXPECT_EQ(ReadFileBytes(file), "[Settings]\r\nLanguage=0000000000\r\n");

    // A file the codec cannot edit stays as it was.
    const std::string utf16 = "\xFF\xFE[\0S\0]\0\r\0\n\0"s;
    WriteFileBytes(file, utf16);
    EXPECT_FALSE(SaveLanguageChoice(1, file));
    EXPECT_EQ(ReadFileBytes(file), utf16);
}
