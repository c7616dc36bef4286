// install_probe.exe: what the installer test needs to see from inside Wine.
//
//   install_probe start <shortcut.lnk> <text>
//       Reads the shortcut's target and working directory (prints "target=",
//       "workdir="), starts the target there as Explorer would (prints "pid="),
//       and waits for the program's main window to hold a control with this
//       text (prints "found=<text>"). The program is left running; it is
//       ended only when the text never shows.
//   install_probe running <pid>
//       Exit code 0 while that process runs, 1 once it has ended.
//   install_probe version <file>
//       Prints the file's version resource: "product=" (ProductVersion text)
//       and "file=" (the fixed file version, a.b.c.d).
//
// Exit code 0 on success, 1 on a failed check, 2 on a wrong command line.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/program_names.h"
#include "tests/e2e/driver_win32.h"
#include "ui/handles_win32.h"

namespace {

using Microsoft::WRL::ComPtr;

constexpr auto kWindowLimit = std::chrono::seconds(30);
constexpr char kMainWindowClass[] = "#32770";

std::string Utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    }
    return result;
}

struct Shortcut {
    std::wstring target;
    std::wstring arguments;
    std::wstring workingDirectory;
};

bool ReadShortcut(const std::wstring& file, Shortcut& shortcut) {
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> persist;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&link))) ||
        FAILED(link.As(&persist)) || FAILED(persist->Load(file.c_str(), STGM_READ))) {
        return false;
    }
    wchar_t text[MAX_PATH * 2] = L"";
    if (FAILED(link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH))) {
        return false;
    }
    shortcut.target = text;
    text[0] = L'\0';
    link->GetArguments(text, MAX_PATH * 2);
    shortcut.arguments = text;
    text[0] = L'\0';
    link->GetWorkingDirectory(text, MAX_PATH * 2);
    shortcut.workingDirectory = text;
    return true;
}

HWND MainWindowOf(DWORD processId) {
    return e2e::WaitForTopWindow(
        processId, kMainWindowClass, std::nullopt, false, kWindowLimit,
        [](HWND window) { return GetPropA(window, kMainWindowProperty) != nullptr; });
}

BOOL CALLBACK PrintText(HWND window, LPARAM) {
    const std::string text = e2e::WindowText(window);
    if (!text.empty()) {
        std::printf("seen=%s\n", text.c_str());
    }
    return TRUE;
}

int Start(const std::wstring& file, const std::string& text) {
    Shortcut shortcut;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ||
        !ReadShortcut(file, shortcut)) {
        std::printf("error=cannot read the shortcut\n");
        return 1;
    }
    std::printf("target=%s\nworkdir=%s\n", Utf8(shortcut.target).c_str(),
                Utf8(shortcut.workingDirectory).c_str());

    std::wstring commandLine = L"\"" + shortcut.target + L"\"";
    if (!shortcut.arguments.empty()) {
        commandLine += L" " + shortcut.arguments;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(
            shortcut.target.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
            shortcut.workingDirectory.empty() ? nullptr : shortcut.workingDirectory.c_str(),
            &startup, &started)) {
        std::printf("error=cannot start the target (%lu)\n", GetLastError());
        return 1;
    }
    ui::UniqueKernelHandle process(started.hProcess);
    ui::UniqueKernelHandle thread(started.hThread);
    std::printf("pid=%lu\n", started.dwProcessId);
    std::fflush(stdout);

    HWND mainWindow = MainWindowOf(started.dwProcessId);
    HWND control = nullptr;
    if (mainWindow) {
        e2e::WaitUntil(
            [&] {
                control = e2e::FindChildWindow(mainWindow, "Button", text);
                return control != nullptr;
            },
            kWindowLimit);
    }
    if (!control) {
        std::printf("error=%s\n", mainWindow ? "no such control" : "no main window");
        if (mainWindow) {
            EnumChildWindows(mainWindow, &PrintText, 0);
        }
        TerminateProcess(process.get(), 1);
        return 1;
    }
    std::printf("found=%s\n", text.c_str());
    return 0;
}

int Running(DWORD processId) {
    ui::UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT ? 0 : 1;
}

int Version(const std::wstring& file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoW(file.c_str(), 0, size, info.data())) {
        std::printf("error=no version resource\n");
        return 1;
    }
    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translation), &length) &&
        length >= sizeof *translation) {
        wchar_t key[64];
        swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\ProductVersion", translation->language,
                 translation->codePage);
        wchar_t* product = nullptr;
        if (VerQueryValueW(info.data(), key, reinterpret_cast<void**>(&product), &length)) {
            std::printf("product=%s\n", Utf8(product).c_str());
        }
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
        length >= sizeof *fixed) {
        std::printf("file=%u.%u.%u.%u\n", unsigned{HIWORD(fixed->dwFileVersionMS)},
                    unsigned{LOWORD(fixed->dwFileVersionMS)},
                    unsigned{HIWORD(fixed->dwFileVersionLS)},
                    unsigned{LOWORD(fixed->dwFileVersionLS)});
    }
    return 0;
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::vector<std::wstring> args(arguments, arguments + count);
    LocalFree(arguments);

    if (count == 4 && args[1] == L"start") {
        return Start(args[2], Utf8(args[3]));
    }
    if (count == 3 && args[1] == L"running") {
        return Running(static_cast<DWORD>(std::wcstoul(args[2].c_str(), nullptr, 10)));
    }
    if (count == 3 && args[1] == L"version") {
        return Version(args[2]);
    }
    std::fprintf(stderr,
                 "usage: install_probe start <shortcut> <text> | running <pid> | version <file>\n");
    return 2;
}
