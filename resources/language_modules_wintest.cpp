// The German language module against the program's own English resources:
// the same dialogs with the same controls, the same tray menu, the same
// strings with the same format placeholders, the same icon and bitmaps, and
// texts that really are German. Both files are read as data, as built beside
// each other in the build's app folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

// A file in the build's app folder, which lies beside this test's folder.
std::string AppFile(const char* name) {
    char path[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    folder.erase(folder.find_last_of("\\/") + 1);
    return folder + "..\\app\\" + name;
}

class DataModule {
  public:
    explicit DataModule(const std::string& path)
        : module_(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataModule() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    DataModule(const DataModule&) = delete;
    DataModule& operator=(const DataModule&) = delete;
    HMODULE Get() const { return module_; }

  private:
    HMODULE module_;
};

struct DialogControl {
    uint32_t id = 0;
    std::string windowClass;  // the class name, or "#n" for a predefined class

    bool operator==(const DialogControl&) const = default;
};

// Reads an extended dialog template: the id and class of every control, in
// order; nothing when the dialog is missing or its template is malformed.
class TemplateReader {
  public:
    TemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Failed() const { return failed_; }

    uint16_t Word() {
        uint16_t value = 0;
        Copy(&value, sizeof value);
        return value;
    }
    uint32_t Dword() {
        uint32_t value = 0;
        Copy(&value, sizeof value);
        return value;
    }
    void Skip(size_t bytes) { Copy(nullptr, bytes); }
    void AlignDword() { Skip((4 - offset_ % 4) % 4); }

    // A name or an ordinal: 0 for none, 0xFFFF and a number, or a string.
    std::string NameOrOrdinal() {
        const uint16_t first = Word();
        if (first == 0) {
            return {};
        }
        if (first == 0xFFFF) {
            return "#" + std::to_string(Word());
        }
        return std::string(1, static_cast<char>(first)) + WideString();
    }
    std::string WideString() {
        std::string text;
        for (uint16_t unit = Word(); unit != 0 && !failed_; unit = Word()) {
            text += unit < 0x80 ? static_cast<char>(unit) : '?';
        }
        return text;
    }

  private:
    void Copy(void* target, size_t bytes) {
        if (failed_ || size_ - offset_ < bytes) {
            failed_ = true;
            return;
        }
        if (target != nullptr) {
            std::memcpy(target, data_ + offset_, bytes);
        }
        offset_ += bytes;
    }

    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
    bool failed_ = false;
};

std::optional<std::vector<DialogControl>> DialogControls(HMODULE module, UINT id) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), RT_DIALOG);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* data = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    if (data == nullptr) {
        return std::nullopt;
    }
    TemplateReader reader(data, SizeofResource(module, found));
    const uint16_t version = reader.Word();
    const uint16_t signature = reader.Word();
    if (version != 1 || signature != 0xFFFF) {
        return std::nullopt;  // not an extended template
    }
    reader.Skip(4 + 4);  // help id, extended style
    const uint32_t style = reader.Dword();
    const uint16_t count = reader.Word();
    reader.Skip(4 * 2);      // x, y, cx, cy
    reader.NameOrOrdinal();  // menu
    reader.NameOrOrdinal();  // class
    reader.WideString();     // title
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        reader.Skip(2 + 2 + 1 + 1);  // size, weight, italic, character set
        reader.WideString();
    }
    std::vector<DialogControl> controls;
    for (uint16_t index = 0; index < count; ++index) {
        reader.AlignDword();
        reader.Skip(4 + 4 + 4 + 4 * 2);  // help id, extended style, style, x, y, cx, cy
        DialogControl control;
        control.id = reader.Dword();
        control.windowClass = reader.NameOrOrdinal();
        reader.NameOrOrdinal();  // title
        reader.Skip(reader.Word());
        controls.push_back(control);
    }
    if (reader.Failed()) {
        return std::nullopt;
    }
    return controls;
}

std::vector<uint32_t> NamedControlIds(const std::vector<DialogControl>& controls) {
    std::vector<uint32_t> ids;
    for (const DialogControl& control : controls) {
        if (control.id != 0xFFFFFFFF) {
            ids.push_back(control.id);
        }
    }
    return ids;
}

// Every item of a menu, depth first: separators as 0, sub-menus as "popup".
void CollectMenuItems(HMENU menu, std::vector<std::string>& items) {
    for (int position = 0; position < GetMenuItemCount(menu); ++position) {
        if (HMENU sub = GetSubMenu(menu, position)) {
            items.push_back("popup");
            CollectMenuItems(sub, items);
            items.push_back("end");
        } else {
            items.push_back(std::to_string(GetMenuItemID(menu, position)));
        }
    }
}

std::optional<std::vector<std::string>> MenuItems(HMODULE module, UINT id) {
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(id));
    if (menu == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> items;
    CollectMenuItems(menu, items);
    DestroyMenu(menu);
    return items;
}

std::string ResourceString(HMODULE module, UINT id) {
    char text[512] = "";
    LoadStringA(module, id, text, sizeof text);
    return text;
}

// The printf conversions of a text, in order.
std::vector<std::string> Placeholders(const std::string& text) {
    static const std::regex conversion(
        R"(%[-+ #0]*[0-9*]*(\.[0-9*]+)?(hh|h|ll|l|L|z|j|t)?[a-zA-Z%])");
    std::vector<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), conversion), end; it != end; ++it) {
        found.push_back(it->str());
    }
    return found;
}

SIZE BitmapSize(HMODULE module, UINT id) {
    SIZE size{};
    if (HANDLE bitmap = LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, 0)) {
        BITMAP info{};
        GetObjectA(bitmap, sizeof info, &info);
        size = {info.bmWidth, info.bmHeight};
        DeleteObject(bitmap);
    }
    return size;
}

class LanguageModules : public ::testing::Test {
  protected:
    DataModule english_{AppFile("PelorandixControlCenter.exe")};
    DataModule german_{AppFile("qvxgerman.dll")};
};

TEST_F(LanguageModules, HoldTheSameDialogsMenuAndStrings) {
    ASSERT_NE(english_.Get(), nullptr);
    ASSERT_NE(german_.Get(), nullptr);

    for (UINT dialog : {IDD_ABOUTBOX, IDD_TRAYCONTROL_DIALOG, IDD_PREFERENCES_PAGE,
                        IDD_HOTKEYS_PAGE, IDD_FIRMWARE_UPGRADE}) {
        SCOPED_TRACE(dialog);
        const auto english = DialogControls(english_.Get(), dialog);
        const auto german = DialogControls(german_.Get(), dialog);
        ASSERT_TRUE(english.has_value());
        ASSERT_TRUE(german.has_value());
        EXPECT_EQ(*german, *english);
    }
    // The controls the program addresses, in the order of the layouts.
    EXPECT_EQ(NamedControlIds(*DialogControls(german_.Get(), 102)), std::vector<uint32_t>{1010});
    EXPECT_EQ(NamedControlIds(*DialogControls(german_.Get(), 159)),
              (std::vector<uint32_t>{1015, 1019, 1021, 1022, 1020, 1031}));
    EXPECT_EQ(NamedControlIds(*DialogControls(german_.Get(), 160)),
              (std::vector<uint32_t>{1000, 1011, 1032, 1001, 1012, 1033, 1002, 1013, 1034, 1003,
                                     1014, 1035, 1004, 1016, 1023, 1008, 1036}));

    const auto englishMenu = MenuItems(english_.Get(), 130);
    const auto germanMenu = MenuItems(german_.Get(), 130);
    ASSERT_TRUE(englishMenu.has_value());
    ASSERT_TRUE(germanMenu.has_value());
    EXPECT_EQ(*germanMenu,
              (std::vector<std::string>{"popup", "40022", "0", "40025", "0", "40015", "40016",
                                        "40017", "40018", "40023", "0", "40007", "end"}));
    EXPECT_EQ(*germanMenu, *englishMenu);

    for (UINT id = 101; id <= 110; ++id) {
        SCOPED_TRACE(id);
        const std::string english = ResourceString(english_.Get(), id);
        const std::string german = ResourceString(german_.Get(), id);
        EXPECT_FALSE(english.empty());
        EXPECT_FALSE(german.empty());
        EXPECT_EQ(Placeholders(german), Placeholders(english));
        if (id != IDS_APP_VERSION) {
            EXPECT_NE(german, english);  // translated
        }
    }
    EXPECT_EQ(ResourceString(english_.Get(), 104), "Description");
    EXPECT_EQ(ResourceString(english_.Get(), 109), "in use by another program");
    EXPECT_EQ(ResourceString(german_.Get(), 109), "von einem anderen Programm belegt");
    EXPECT_EQ(ResourceString(english_.Get(), 110), "the same combination as another field");
    EXPECT_EQ(ResourceString(german_.Get(), 110), "dieselbe Kombination wie ein anderes Feld");
    EXPECT_EQ(Placeholders(ResourceString(german_.Get(), 107)), std::vector<std::string>{"%s"});
}

TEST_F(LanguageModules, HoldTheIconAndBitmaps) {
    ASSERT_NE(english_.Get(), nullptr);
    ASSERT_NE(german_.Get(), nullptr);
    for (HMODULE module : {english_.Get(), german_.Get()}) {
        EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(128), RT_GROUP_ICON), nullptr);
        const SIZE device = BitmapSize(module, 166);
        EXPECT_EQ(device.cx, 123);
        EXPECT_EQ(device.cy, 158);
        for (UINT check : {170u, 1011u}) {
            const SIZE mark = BitmapSize(module, check);
            EXPECT_EQ(mark.cx, 13);
            EXPECT_EQ(mark.cy, 13);
        }
    }
}

}  // namespace
