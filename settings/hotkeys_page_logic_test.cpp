#include "settings/hotkeys_page_logic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "settings/test_files.h"

using namespace std::string_literals;

namespace {

class FakeHotkeysPage : public HotkeysPageView {
  public:
    std::array<HotkeyFieldValue, kHotkeyEntryCount> fields{};
    HotkeysPageTexts boxes;
    std::optional<std::string> placeholder = "Description";
    int lowest = -1, highest = -1, position = -1;

    HotkeyFieldValue HotkeyField(std::size_t entry) const override { return fields.at(entry); }
    void SetHotkeyField(std::size_t entry, HotkeyFieldValue value) override {
        fields.at(entry) = value;
    }
    std::optional<std::string> LoadPlaceholder() const override { return placeholder; }
    void PushTexts(const HotkeysPageTexts& texts) override { boxes = texts; }
    HotkeysPageTexts PullTexts() const override { return boxes; }
    void SetIntervalControl(int low, int high, int pos) override {
        lowest = low;
        highest = high;
        position = pos;
    }
};

// The page over the main window's copies, saving to a file of its own.
struct Page {
    TempFolder folder;
    std::string file = folder.File("QVXSettings.ini");
    FakeHotkeysPage view;
    HotkeyTable hotkeys = DefaultHotkeyTable();
    int32_t interval = 10;
    std::vector<std::string> calls;
    HotkeysPageLogic logic{view, hotkeys, interval,
                           [this](const HotkeyTable& table, int32_t seconds) {
                               calls.push_back("write");
                               return SaveHotkeysAndInterval(table, seconds, file);
                           },
                           [this] { calls.push_back("register"); }};
};

HotkeysPageTexts Texts(std::string a, std::string b, std::string c, std::string d,
                       std::string interval) {
    return {{a, b, c, d}, interval};
}

}  // namespace

TEST(HotkeysPageLogic, LoadShowsFieldsNamesAndInterval) {
    Page page;
    page.hotkeys.entries[0] = {0x31, 0x06, {}};
    SetEntryName(page.hotkeys.entries[0], "Port B");  // another port's default
    page.hotkeys.entries[1].name = {'P', 'o', 'r', 't', ' ', 'B', '\0', 'x', 'y'};
    SetEntryName(page.hotkeys.entries[2], "");
    SetEntryName(page.hotkeys.entries[3], "Port D ");
    page.hotkeys.entries[4] = {0x52, 0x03, {}};
    page.interval = 1000;
    page.logic.Initialize();

    EXPECT_EQ(page.view.fields[0], (HotkeyFieldValue{0x31, 0x06}));
    EXPECT_EQ(page.view.fields[1], (HotkeyFieldValue{0, 0}));
    EXPECT_EQ(page.view.fields[4], (HotkeyFieldValue{0x52, 0x03}));
    // Only a port's own default name, compared up to its NUL, shows the placeholder.
    EXPECT_EQ(page.view.boxes, Texts("Port B", "Description", "", "Port D ", "1000"));
    // A stored 1000 shows as it is while the control stands at its top.
    EXPECT_EQ(page.view.lowest, 0);
    EXPECT_EQ(page.view.highest, 500);
    EXPECT_EQ(page.view.position, 500);
    EXPECT_TRUE(page.calls.empty());

    // Without the placeholder in the resources a default name shows empty.
    Page bare;
    bare.view.placeholder.reset();
    bare.interval = -5;
    bare.logic.Initialize();
    EXPECT_EQ(bare.view.boxes, Texts("", "", "", "", "-5"));
    EXPECT_EQ(bare.view.position, 0);
}

TEST(HotkeysPageLogic, SaveStoresFieldsAndNamesThenRegisters) {
    Page page;
    page.logic.Initialize();
    page.view.fields[0] = {0x31, 0x06};
    page.view.fields[4] = {0x52, 0x03};
    page.view.boxes.names = {"", "Description", "description", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"};
    page.logic.OnSave();

    EXPECT_EQ(page.view.boxes, Texts("Description", "Description", "description",
                                     "ABCDEFGHIJKLMNOPQRSTUVWXYZ012", "10"));
    EXPECT_EQ(page.calls, (std::vector<std::string>{"write", "register"}));
    const std::string expected =
        "[Settings]\r\n"
        "Hotkeys="
        "31000600506F72742041000000000000000000000000000000000000000000000000"
        "00000000506F72742042000000000000000000000000000000000000000000000000"
        "000000006465736372697074696F6E00000000000000000000000000000000000000"
        "000000004142434445464748494A4B4C4D4E4F505152535455565758595A30313200"
        "52000300000000000000000000000000000000000000000000000000000000000000"
        "AF\r\n"
        "Timer=0A0000000A\r\n";
    EXPECT_EQ(ReadFileBytes(page.file), expected);
    EXPECT_EQ(ReadFileBytes(page.file).size(), expected.size());

    // The same content saved again writes the same bytes.
    page.logic.OnSave();
    EXPECT_EQ(ReadFileBytes(page.file), expected);
    EXPECT_EQ(page.calls.size(), 4u);
    EXPECT_EQ(EntryName(page.hotkeys.entries[3]), "ABCDEFGHIJKLMNOPQRSTUVWXYZ012");
}

TEST(HotkeysPageLogic, FailedWriteLeavesTheFileAndStillRegisters) {
    Page page;
    const std::string utf16 = "\xFF\xFE[\0S\0]\0\r\0\n\0"s;
    WriteFileBytes(page.file, utf16);
    page.logic.Initialize();
    page.view.boxes.names[0] = "Office";
    page.logic.OnSave();
    EXPECT_EQ(ReadFileBytes(page.file), utf16);
    EXPECT_EQ(page.calls, (std::vector<std::string>{"write", "register"}));
    EXPECT_EQ(EntryName(page.hotkeys.entries[0]), "Office");
}

TEST(HotkeysPageLogic, IntervalStepsStayInRangeAndPutNamesBack) {
    Page page;
    page.interval = 1000;
    page.logic.Initialize();
    page.view.boxes.names[0] = "Office";
    page.view.fields[0] = {0x41, 0x02};

    page.logic.OnIntervalDelta(500, -1);
    EXPECT_EQ(page.interval, 499);
    // The typed name goes back to what the last load showed; hotkey fields stay.
    EXPECT_EQ(page.view.boxes,
              Texts("Description", "Description", "Description", "Description", "499"));
    EXPECT_EQ(page.view.fields[0], (HotkeyFieldValue{0x41, 0x02}));
    EXPECT_TRUE(page.calls.empty());

    page.logic.OnIntervalDelta(500, 1);
    EXPECT_EQ(page.interval, 500);
    EXPECT_EQ(page.view.boxes.interval, "500");
    page.logic.OnIntervalDelta(0, -1);
    EXPECT_EQ(page.interval, 0);
    page.logic.OnIntervalDelta(3, -5);
    EXPECT_EQ(page.interval, 0);
    page.logic.OnIntervalDelta(2147483647, 1);
    EXPECT_EQ(page.interval, 500);

    // Save writes the interval the last step set.
    page.logic.OnIntervalDelta(498, 1);
    page.logic.OnSave();
    EXPECT_NE(ReadFileBytes(page.file).find("\r\nTimer=F3010000F4\r\n"), std::string::npos);
}
