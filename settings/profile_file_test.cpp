#include "settings/profile_file.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "settings/test_files.h"

using namespace std::string_literals;

namespace {

using Block = std::array<uint8_t, 4>;
const Block kTen{0x0A, 0, 0, 0};

std::optional<Block> ReadTimer(const std::string& file) {
    Block block{};
    if (!ReadProfileStruct("Settings", "Timer", block, file)) {
        return std::nullopt;
    }
    return block;
}

bool WriteTimerTen(const std::string& file) {
    return WriteProfileStruct("Settings", "Timer", kTen, file);
}

}  // namespace

TEST(ProfileFile, CreatesFileAndSectionThenReplacesInPlace) {
    TempFolder folder;
    const std::string file = folder.File("new.ini");
    EXPECT_FALSE(ReadTimer(file));

    ASSERT_TRUE(WriteTimerTen(file));
    EXPECT_EQ(ReadFileBytes(file), "[Settings]\r\nTimer=0A0000000A\r\n");
    EXPECT_EQ(ReadTimer(file), kTen);

    ASSERT_TRUE(WriteProfileStruct("Settings", "Language", Block{0, 0, 0, 0}, file));
    ASSERT_TRUE(WriteProfileStruct("Settings", "Timer", Block{1, 0, 0, 0}, file));
    EXPECT_EQ(ReadFileBytes(file), "[Settings]\r\nTimer=0100000001\r\nLanguage=0000000000\r\n");
}

TEST(ProfileFile, ReadsHandEditedFiles) {
    TempFolder folder;
    const std::string file = folder.File("edited.ini");
    const std::pair<const char*, std::string> cases[] = {
        {"spaces and LF only", "; my settings\n\n[Settings]\n  Timer =  0A0000000A  \n"s},
        {"no final line end", "[Settings]\r\nTimer=0A0000000A"s},
        {"UTF-8 BOM", "\xEF\xBB\xBF[Settings]\r\nTimer=0A0000000A\r\n"s},
        {"names in any case", "[sETTINGS]\r\ntimer=0a0000000a\r\n"s},
        {"tabs, comments and other sections",
         "[Other]\r\nTimer=FFFFFFFFFC\r\n\t[ Settings ]\t\r\n;Timer=0100000001\r\n"
         "Timer\t=\t0A0000000A\r\n[Last]\r\n"s},
        {"first of duplicate keys", "[Settings]\r\nTimer=0A0000000A\r\nTimer=0100000001\r\n"s},
        {"binary bytes and NULs",
         "\x01\xFF\x00garbage\r\n[Settings]\r\nTimer=0A0000000A\r\n\x80\x00"s},
        {"lone CRs", "; old Mac\r[Settings]\rTimer=0A0000000A\r"s},
        {"lone CR inside a CR LF file", "[Settings]\r\nLanguage=0\rTimer=0A0000000A\r\n"s},
        {"vertical tabs and form feeds", "\v[\fSettings\v]\f\r\n\fTimer\v=\f0A0000000A\v\r\n"s},
        {"text after the last bracket", "[Settings]junk\r\nTimer=0A0000000A\r\n"s},
    };
    for (const auto& [name, text] : cases) {
        WriteFileBytes(file, text);
        EXPECT_EQ(ReadTimer(file), kTen) << name;
    }
}

TEST(ProfileFile, DamagedValuesCountAsMissing) {
    TempFolder folder;
    const std::string file = folder.File("damaged.ini");
    for (const char* text : {
             "[Settings]\r\nTimer=0B0000000A\r\n",         // wrong digit
             "[Settings]\r\nTimer=0A000000\r\n",           // one byte short
             "[Settings]\r\nTimer=\r\n",                   // empty
             "[Settings]\r\nTimer\r\n",                    // no value
             "[Settings]\r\nTimer=\"0A0000000A\"\r\n",     // quoted
             "[Settings]\r\nTimer=0A00 00000A\r\n",        // blank inside
             "[Settings]\r\nTimer=0A0000000A;note\r\n",    // trailing text
             "Timer=0A0000000A\r\n",                       // outside any section
             "[Settings\r\nTimer=0A0000000A\r\n",          // broken header
             "[Other]\r\nTimer=0A0000000A\r\n",            // other section
             "[Settings]\r\n[Other]\r\nTimer=0A0000000A",  // key after the section
             "[Settings]\r\nTimers=0A0000000A\r\n",        // other key
             "[Settings]\r\nTimer=0A0000000A0A\r\n",       // too long
             "[Settings]]\r\nTimer=0A0000000A\r\n",        // section "Settings]"
             "[Settings]x]\r\nTimer=0A0000000A\r\n",       // section "Settings]x"
             "[Settings]\r\nTimer=0A0000000A\xA0\r\n",     // no blank to the platform
             "",
         }) {
        WriteFileBytes(file, text);
        Block block{7, 7, 7, 7};
        EXPECT_FALSE(ReadProfileStruct("Settings", "Timer", block, file)) << text;
        EXPECT_EQ(block, (Block{7, 7, 7, 7})) << text;
    }
}

TEST(ProfileFile, WriteKeepsEveryOtherLineByteForByte) {
    TempFolder folder;
    const std::string file = folder.File("mixed.ini");
    const std::string longLine = "Comment=" + std::string(200000, 'z') + "\n";
    const std::string before = "\xEF\xBB\xBF; hand written\n\n[other]\r\nTimer=1\n" + longLine +
                               "[Settings]  \n  Language = 0100000001\r\n" +
                               "bin\x00\x01\xFE=\xFF\r\n"s +
                               "; trailing comment\r\n\r\n[Third]\nkey=value";

    // The key is added after the last key line of its section.
    WriteFileBytes(file, before);
    ASSERT_TRUE(WriteTimerTen(file));
    const std::size_t afterSection = before.find("; trailing");
    const std::string added =
        before.substr(0, afterSection) + "Timer=0A0000000A\r\n" + before.substr(afterSection);
    EXPECT_EQ(ReadFileBytes(file), added);

    // An existing key is replaced on its own line.
    ASSERT_TRUE(WriteProfileStruct("settings", "LANGUAGE", Block{0, 0, 0, 0}, file));
    std::string replaced = added;
    replaced.replace(replaced.find("  Language = 0100000001\r\n"), 25, "LANGUAGE=0000000000\r\n");
    EXPECT_EQ(ReadFileBytes(file), replaced);

    // A missing section is added at the end; the last line gets its line end.
    ASSERT_TRUE(WriteProfileStruct("New", "Timer", kTen, file));
    EXPECT_EQ(ReadFileBytes(file), replaced + "\r\n[New]\r\nTimer=0A0000000A\r\n");
    EXPECT_EQ(ReadTimer(file), kTen);
}

TEST(ProfileFile, EmptySectionAndFilesWithoutLineEnds) {
    TempFolder folder;
    const std::string file = folder.File("short.ini");
    WriteFileBytes(file, "[Settings]");
    ASSERT_TRUE(WriteTimerTen(file));
    EXPECT_EQ(ReadFileBytes(file), "[Settings]\r\nTimer=0A0000000A\r\n");

    WriteFileBytes(file, "\xEF\xBB\xBF");
    ASSERT_TRUE(WriteTimerTen(file));
    EXPECT_EQ(ReadFileBytes(file), "\xEF\xBB\xBF[Settings]\r\nTimer=0A0000000A\r\n");

    WriteFileBytes(file, "[Settings]\nTimer=0B0000000A");
    ASSERT_TRUE(WriteTimerTen(file));
    EXPECT_EQ(ReadFileBytes(file), "[Settings]\nTimer=0A0000000A\r\n");
}

TEST(ProfileFile, LeavesFilesItCannotEditUntouched) {
    TempFolder folder;
    // UTF-16 text is neither read nor rewritten.
    const std::string unicode = folder.File("unicode.ini");
    const std::string utf16 = "\xFF\xFE[\0S\0]\0\r\0\n\0"s;
    WriteFileBytes(unicode, utf16);
    EXPECT_FALSE(ReadTimer(unicode));
    EXPECT_FALSE(WriteTimerTen(unicode));
    EXPECT_EQ(ReadFileBytes(unicode), utf16);

    // An oversized file is not taken for settings, and not cut down.
    const std::string huge = folder.File("huge.ini");
    const std::string hugeText = "[Settings]\r\nTimer=0A0000000A\r\n" + std::string(2 << 20, ';');
    WriteFileBytes(huge, hugeText);
    EXPECT_FALSE(ReadTimer(huge));
    EXPECT_FALSE(WriteTimerTen(huge));
    EXPECT_EQ(ReadFileBytes(huge).size(), hugeText.size());

    // A folder in the file's place.
    const std::string folderInPlace = folder.File("folder.ini");
    std::filesystem::create_directory(folderInPlace);
    EXPECT_FALSE(ReadTimer(folderInPlace));
    EXPECT_FALSE(WriteTimerTen(folderInPlace));
    EXPECT_TRUE(std::filesystem::is_directory(folderInPlace));

    // A file in a folder that does not exist.
    EXPECT_FALSE(WriteTimerTen(folder.File("missing/settings.ini")));

    // No temporary file is left behind by any of these.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 3u);
}

TEST(ProfileFile, WriteReplacesTheFileAsAWhole) {
    TempFolder folder;
    const std::string file = folder.File("replace.ini");
    const std::string keep = folder.File("keep.ini");
    WriteFileBytes(file, "[Settings]\r\nLanguage=0000000000\r\n");
    // A hard link to the old file keeps the old contents: the file was
    // replaced, not rewritten in place where a crash could cut it short.
    std::error_code linkError;
    std::filesystem::create_hard_link(file, keep, linkError);
    ASSERT_TRUE(WriteTimerTen(file));
    EXPECT_EQ(ReadFileBytes(file), "[Settings]\r\nLanguage=0000000000\r\nTimer=0A0000000A\r\n");
    if (!linkError) {
        EXPECT_EQ(ReadFileBytes(keep), "[Settings]\r\nLanguage=0000000000\r\n");
    }
    std::filesystem::remove(keep);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(ProfileFile, WritesKeepWhatThePlatformReads) {
    TempFolder folder;
    const std::string file = folder.File("platform.ini");

    // A section name runs to the last "]" of its line: "[Settings]]" is the
    // section "Settings]", which a write to "Settings" leaves alone.
    WriteFileBytes(file, "[Settings]]\r\nTimer=0100000001\r\n");
    ASSERT_TRUE(WriteTimerTen(file));
    EXPECT_EQ(ReadFileBytes(file),
              "[Settings]]\r\nTimer=0100000001\r\n[Settings]\r\nTimer=0A0000000A\r\n");
    EXPECT_EQ(ReadTimer(file), kTen);
    Block foreign{};
    EXPECT_TRUE(ReadProfileStruct("Settings]", "Timer", foreign, file));
    EXPECT_EQ(foreign, (Block{1, 0, 0, 0}));

    // A last line ending in a lone CR is a whole line: the key added after
    // it leaves the other key readable.
    WriteFileBytes(file, "[Settings]\r\nLanguage=0000000000\r");
    ASSERT_TRUE(WriteTimerTen(file));
    EXPECT_EQ(ReadFileBytes(file), "[Settings]\r\nLanguage=0000000000\rTimer=0A0000000A\r\n");
    Block language{7, 7, 7, 7};
    EXPECT_TRUE(ReadProfileStruct("Settings", "Language", language, file));
    EXPECT_EQ(language, (Block{0, 0, 0, 0}));
    EXPECT_EQ(ReadTimer(file), kTen);

    // A file already damaged that way still reads, and a key on a lone-CR
    // line is replaced without touching its neighbours.
    WriteFileBytes(file, "[Settings]\r\nLanguage=0000000000\r\r\nTimer=0100000001\rX=1\r\n");
    ASSERT_TRUE(ReadProfileStruct("Settings", "Language", language, file));
    ASSERT_TRUE(WriteTimerTen(file));
    EXPECT_EQ(ReadFileBytes(file),
              "[Settings]\r\nLanguage=0000000000\r\r\nTimer=0A0000000A\r\nX=1\r\n");
}
