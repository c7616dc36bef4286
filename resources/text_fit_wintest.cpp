// Every text of every dialog, in English and in German, fits its control at
// 96, 120, 144 and 192 DPI, measured with the control's own font the way the
// control draws it. Wine takes the DPI (the LogPixels value) when a process
// starts, so this test runs itself once per DPI with "--measure", which
// creates each dialog and prints what it found.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "ui/testing/log_pixels_scope_win32.h"

namespace {

// Texts the program puts into controls at run time, tried besides the template's.
std::vector<std::wstring> RunTimeTexts(HMODULE module, int id) {
    auto text = [module](UINT string) {
        wchar_t buffer[256] = L"";
        LoadStringW(module, string, buffer, 256);
        return std::wstring(buffer);
    };
    switch (id) {
        case IDC_FIRMWARE_VERSION:
        case IDC_CURRENT_VERSION:
            return {L"1.10"};
        case IDC_HARDWARE_REVISION:
            return {L"00001012"};
        case IDC_SERIAL_NUMBER:
            return {L"1A2B3C4D"};
        case IDC_IN_USE_PORT_A:
        case IDC_IN_USE_PORT_B:
        case IDC_IN_USE_PORT_C:
        case IDC_IN_USE_PORT_D:
        case IDC_IN_USE_ROTATE:
            return {text(IDS_HOTKEY_IN_USE), text(IDS_HOTKEY_DUPLICATE)};
        default:
            return {};
    }
}

std::string Utf8(const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                     bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                     nullptr));
    return bytes;
}

// Where a control draws its text: the area it has, the DrawText flags it
// draws with, and whether its height counts (a group box's caption sits on
// its frame). Nothing for a control without text of its own.
struct TextArea {
    SIZE room{};
    UINT flags = 0;
    bool checkHeight = true;
};

bool FindTextArea(HWND control, HDC dc, TextArea& area) {
    wchar_t className[32] = L"";
    GetClassNameW(control, className, 32);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    RECT client{};
    GetClientRect(control, &client);
    area.room = {client.right, client.bottom};
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    if (lstrcmpiW(className, L"Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        area.flags = DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
        if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) {
            area.flags |= DT_WORDBREAK;
        } else if (type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE) {
            return false;
        }
        return true;
    }
    if (lstrcmpiW(className, L"Button") != 0) {
        return false;
    }
    area.flags = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    switch (style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON: {
            // Inside the raised edge and the focus rectangle.
            const int inset = GetSystemMetrics(SM_CXEDGE) + 1;
            area.room.cx -= 2 * inset;
            area.room.cy -= 2 * inset;
            return true;
        }
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON: {
            // Beside the box, half a digit's width away from it.
            int digit = 0;
            GetCharWidth32W(dc, L'0', L'0', &digit);
            area.room.cx -= MulDiv(13, GetDeviceCaps(dc, LOGPIXELSX), 96) + digit / 2;
            return true;
        }
        case BS_GROUPBOX:
            // On one line, an average character in from either end of the frame.
            area.flags = DT_SINGLELINE;
            area.room.cx -= 2 * metrics.tmAveCharWidth;
            area.checkHeight = false;
            return true;
        default:
            return false;
    }
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// Creates every dialog of a module and measures its texts; prints one line
// per dialog and one per text that does not fit.
void MeasureModule(HMODULE module, const char* language, HWND parent) {
    std::vector<UINT> ids;
    EnumResourceNamesW(
        module, MAKEINTRESOURCEW(5) /* RT_DIALOG */,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) -> BOOL {
            if (IS_INTRESOURCE(name)) {
                reinterpret_cast<std::vector<UINT>*>(found)->push_back(LOWORD(name));
            }
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&ids));
    for (UINT id : ids) {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
        const auto* layout =
            static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(module, found)));
        HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), layout, parent,
                                                 QuietDialogProc, 0);
        int texts = 0;
        for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr;
             control = GetWindow(control, GW_HWNDNEXT)) {
            wchar_t buffer[256] = L"";
            GetWindowTextW(control, buffer, 256);
            std::vector<std::wstring> candidates = RunTimeTexts(module, GetDlgCtrlID(control));
            candidates.emplace_back(buffer);
            HDC dc = GetDC(control);
            HGDIOBJ oldFont =
                SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
            TextArea area;
            if (FindTextArea(control, dc, area)) {
                for (const std::wstring& text : candidates) {
                    if (text.empty()) {
                        continue;
                    }
                    ++texts;
                    RECT needed{0, 0, area.room.cx, 0};
                    DrawTextW(dc, text.c_str(), -1, &needed, area.flags | DT_CALCRECT);
                    if (needed.right > area.room.cx ||
                        (area.checkHeight && needed.bottom > area.room.cy)) {
                        SIZE line{};
                        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()),
                                              &line);
                        std::printf(
                            "misfit: dialog %u %s, control %d \"%s\" (%ld px on one line) "
                            "takes %ld x %ld px, has %ld x %ld\n",
                            id, language, GetDlgCtrlID(control), Utf8(text).c_str(), line.cx,
                            needed.right, needed.bottom, area.room.cx, area.room.cy);
                    }
                }
            }
            SelectObject(dc, oldFont);
            ReleaseDC(control, dc);
        }
        std::printf("dialog %u %s: %d texts\n", id, language, texts);
        DestroyWindow(dialog);
    }
}

int Measure(const char* germanModule) {
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof classes;
    classes.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&classes);
    HDC screen = GetDC(nullptr);
    std::printf("dpi %d\n", GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    MeasureModule(GetModuleHandleW(nullptr), "English", parent);
    HMODULE german = LoadLibraryExA(germanModule, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (german == nullptr) {
        std::printf("no German module at %s\n", germanModule);
        return 1;
    }
    MeasureModule(german, "German", parent);
    FreeLibrary(german);
    DestroyWindow(parent);
    return 0;
}

std::string ThisProgram() {
    char path[MAX_PATH] = "";
    return std::string(path, GetModuleFileNameA(nullptr, path, sizeof path));
}

// The German module, built in the app folder beside this test's folder.
std::string GermanModule() {
    std::string path = ThisProgram();
    return path.erase(path.find_last_of("\\/") + 1) + "..\\app\\qvxgerman.dll";
}

// What a command line printed. It goes through cmd /c, which takes the outer
// quotes off.
std::string Output(const std::string& commandLine) {
    std::string output;
    if (FILE* pipe = _popen(("\"" + commandLine + "\"").c_str(), "rb")) {
        char chunk[4096];
        for (size_t read; (read = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            output.append(chunk, read);
        }
        _pclose(pipe);
    }
    std::erase(output, '\r');
    return output;
}

TEST(TextFit, EveryDialogTextFitsItsControlInBothLanguagesAtEveryDpi) {
    LogPixelsScope logPixels;
    for (DWORD dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(dpi);
        logPixels.Set(dpi);
        const std::string output =
            Output("\"" + ThisProgram() + "\" --measure \"" + GermanModule() + "\"");
        EXPECT_NE(output.find("dpi " + std::to_string(dpi) + "\n"), std::string::npos) << output;
        for (const char* language : {"English", "German"}) {
            for (int dialog : {100, 102, 159, 160, 173}) {
                EXPECT_NE(output.find("dialog " + std::to_string(dialog) + " " + language + ":"),
                          std::string::npos)
                    << dialog << " " << language;
            }
        }
        EXPECT_EQ(output.find("misfit"), std::string::npos) << output;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--measure") {
        return Measure(argv[2]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
