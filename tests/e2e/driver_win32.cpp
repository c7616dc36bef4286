#include "tests/e2e/driver_win32.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>

namespace e2e {
namespace {

// How often WaitUntil looks at its condition.
constexpr auto kPollPeriod = std::chrono::milliseconds(10);
// How long a terminated child may take to be gone.
constexpr DWORD kTerminateWaitMilliseconds = 5000;
// The programs under test, beside the test drivers in the build tree.
constexpr char kVirtualProgram[] = "../../app/PelorandixControlCenter-virtual.exe";
constexpr char kReleaseProgram[] = "../../app/PelorandixControlCenter.exe";
constexpr char kReleaseCommandLine[] = "../../cli/pelorandix.exe";
constexpr char kBusTool[] = "../hidbus/pelorandix-bus.exe";
constexpr char kBusInstaller[] = "../hidbus/pelorandix-bus-install.exe";
constexpr char kCfgmgr32StandIn[] = "../hidbus/cfgmgr32/cfgmgr32.dll";
constexpr auto kBusInstallLimit = std::chrono::seconds(90);
// Plug and Play brings a switch's interfaces up within this.
constexpr auto kBusPlugLimit = std::chrono::seconds(30);
// WM_GETTEXT to a window that hangs gives up after this.
constexpr UINT kGetTextTimeoutMilliseconds = 2000;

// Both ends of an anonymous pipe; the child's end is inheritable, ours not.
struct Pipe {
    ui::UniqueKernelHandle read;
    ui::UniqueKernelHandle write;
};

std::optional<Pipe> MakePipe(bool childReads) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) {
        return std::nullopt;
    }
    Pipe pipe{ui::UniqueKernelHandle(read), ui::UniqueKernelHandle(write)};
    HANDLE ours = childReads ? write : read;
    SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);
    return pipe;
}

struct WindowSearch {
    DWORD processId;
    std::string_view className;
    std::optional<std::string_view> caption;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && (!search.visibleOnly || IsWindowVisible(window)) &&
        ClassName(window) == search.className &&
        (!search.caption || WindowText(window) == *search.caption)) {
        search.found.push_back(window);
    }
    return TRUE;
}

struct ChildSearch {
    std::string_view className;
    std::string_view text;
    HWND found = nullptr;
};

BOOL CALLBACK FindChild(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<ChildSearch*>(context);
    if (ClassName(window) == search.className && WindowText(window) == search.text) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

INPUT KeyInput(WORD key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// A 32-bit top-down bitmap and a memory DC it is selected into.
class PixelCanvas {
  public:
    PixelCanvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                   nullptr, 0);
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~PixelCanvas() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    PixelCanvas(const PixelCanvas&) = delete;
    PixelCanvas& operator=(const PixelCanvas&) = delete;

    bool Valid() const { return bits_ != nullptr; }
    HDC Dc() const { return dc_; }
    uint32_t At(int x, int y) const { return bits_[y * width_ + x] & 0xFFFFFF; }
    void Fill(COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT all{0, 0, width_, height_};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }

  private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
};

// The notification area's rectangle on the screen: Windows' own window for
// it, or, in Wine's taskbar, which has none, the part right of the taskbar's
// buttons (the Start button and one for each window, drawn with the window's
// icon in some versions).
std::optional<RECT> NotificationAreaRect() {
    HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    RECT area{};
    if (taskbar == nullptr || !GetWindowRect(taskbar, &area)) {
        return std::nullopt;
    }
    if (HWND own = FindWindowExA(taskbar, nullptr, "TrayNotifyWnd", nullptr)) {
        return GetWindowRect(own, &area) ? std::optional(area) : std::nullopt;
    }
    for (HWND button = nullptr; (button = FindWindowExA(taskbar, button, "Button", nullptr));) {
        RECT place{};
        if (IsWindowVisible(button) && GetWindowRect(button, &place)) {
            area.left = std::max(area.left, place.right);
        }
    }
    return area;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, Clock::duration limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollPeriod);
    }
    return true;
}

std::filesystem::path BesideThisProgram(const std::filesystem::path& relative) {
    wchar_t path[MAX_PATH] = L"";
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::filesystem::path self(std::wstring(path, length < MAX_PATH ? length : 0));
    return (self.parent_path() / relative).lexically_normal();
}

ChildProgram::ChildProgram(const std::filesystem::path& exe,
                           const std::filesystem::path& workingDirectory,
                           std::wstring_view arguments) {
    std::optional<Pipe> input = MakePipe(true);
    std::optional<Pipe> output = MakePipe(false);
    if (!input || !output) {
        return;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input->read.get();
    startup.hStdOutput = output->write.get();
    startup.hStdError = output->write.get();
    // The child lives in a job that ends it when the driver's handle closes,
    // also when the driver itself dies.
    job_.reset(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job_ || !SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits,
                                          sizeof limits)) {
        return;
    }
    std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
    if (!arguments.empty()) {
        commandLine.append(L" ").append(arguments);
    }
    // Under load Wine now and then fails to start a process or to put one
    // just created into a job: a few tries more, and each failure is named.
    PROCESS_INFORMATION started{};
    for (int attempt = 1;; ++attempt) {
        started = {};
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                            CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, workingDirectory.c_str(),
                            &startup, &started)) {
            std::cerr << "CreateProcess failed, error " << GetLastError() << "\n";
        } else if (AssignProcessToJobObject(job_.get(), started.hProcess)) {
            break;
        } else {
            std::cerr << "AssignProcessToJobObject failed, error " << GetLastError() << "\n";
            TerminateProcess(started.hProcess, EXIT_FAILURE);
            CloseHandle(started.hProcess);
            CloseHandle(started.hThread);
        }
        if (attempt == 3) {
            return;
        }
        Sleep(100);
    }
    ui::UniqueKernelHandle thread(started.hThread);
    ResumeThread(thread.get());
    process_.reset(started.hProcess);
    processId_ = started.dwProcessId;
    input_ = std::move(input->write);
    output_ = std::move(output->read);
    // The child's ends are the child's alone now: the output pipe breaks
    // when the child ends, which ends the reader.
    input->read.reset();
    output->write.reset();
    reader_ = std::thread(&ChildProgram::ReadOutput, this);
}

ChildProgram::~ChildProgram() {
    Terminate();
    // Closing the job ends every process in it, so no process the child
    // started (a console host) keeps the output pipe open and the reader
    // waiting.
    job_.reset();
    input_.reset();
    if (reader_.joinable()) {
        reader_.join();
    }
}

void ChildProgram::ReadOutput() {
    std::string pending;
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(output_.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        const Clock::time_point now = Clock::now();
        pending.append(buffer, got);
        size_t end;
        std::lock_guard<std::mutex> lock(mutex_);
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string text = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!text.empty() && text.back() == '\r') {
                text.pop_back();
            }
            lines_.push_back({now, std::move(text)});
        }
        arrived_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    outputEnded_ = true;
    arrived_.notify_all();
}

bool ChildProgram::WaitForOutputEnd(Clock::duration limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, limit, [this] { return outputEnded_; });
}

bool ChildProgram::Send(std::string_view line) {
    if (!input_) {
        return false;
    }
    const std::string text = std::string(line) + "\n";
    DWORD written = 0;
    return WriteFile(input_.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                     nullptr) &&
           written == text.size();
}

std::optional<size_t> ChildProgram::WaitForLine(std::string_view prefix, size_t from,
                                                Clock::duration limit) {
    return WaitForLine([prefix](const std::string& text) { return text.starts_with(prefix); }, from,
                       limit);
}

std::optional<size_t> ChildProgram::WaitForLine(
    const std::function<bool(const std::string&)>& match, size_t from, Clock::duration limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    std::unique_lock<std::mutex> lock(mutex_);
    size_t next = from;
    while (true) {
        for (; next < lines_.size(); ++next) {
            if (match(lines_[next].text)) {
                return next;
            }
        }
        if (arrived_.wait_until(lock, deadline) == std::cv_status::timeout) {
            for (; next < lines_.size(); ++next) {
                if (match(lines_[next].text)) {
                    return next;
                }
            }
            return std::nullopt;
        }
    }
}

size_t ChildProgram::LineCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.size();
}

OutputLine ChildProgram::Line(size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.at(index);
}

std::vector<OutputLine> ChildProgram::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool ChildProgram::IsRunning() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProgram::WaitForExit(Clock::duration limit) {
    if (!process_) {
        return std::nullopt;
    }
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(limit).count();
    if (WaitForSingleObject(process_.get(), static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

void ChildProgram::Terminate() {
    if (IsRunning()) {
        TerminateProcess(process_.get(), EXIT_FAILURE);
        WaitForSingleObject(process_.get(), kTerminateWaitMilliseconds);
    }
}

std::vector<HWND> FindTopWindows(DWORD processId, std::string_view className,
                                 std::optional<std::string_view> caption, bool visibleOnly) {
    WindowSearch search{processId, className, caption, visibleOnly, {}};
    EnumWindows(&CollectTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForTopWindow(DWORD processId, std::string_view className,
                      std::optional<std::string_view> caption, bool visibleOnly,
                      Clock::duration limit, const std::function<bool(HWND)>& accept) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : FindTopWindows(processId, className, caption, visibleOnly)) {
                if (!accept || accept(window)) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        limit);
    return found;
}

std::string WindowText(HWND window) {
    char text[512] = "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kGetTextTimeoutMilliseconds, &length)) {
        return {};
    }
    return std::string(text, length < sizeof text ? length : 0);
}

std::string ClassName(HWND window) {
    char name[256] = "";
    const int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

HWND FindChildWindow(HWND parent, std::string_view className, std::string_view text) {
    ChildSearch search{className, text};
    EnumChildWindows(parent, &FindChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool NotificationAreaShowsIcon(const std::filesystem::path& exe, int iconId) {
    const std::optional<RECT> area = NotificationAreaRect();
    if (!area) {
        return false;
    }
    const int size = GetSystemMetrics(SM_CXSMICON);
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        return false;
    }
    HICON icon = static_cast<HICON>(
        LoadImageA(module, MAKEINTRESOURCEA(iconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    // The icon on black and on white: where both agree, the icon is opaque.
    PixelCanvas onBlack(size, size);
    PixelCanvas onWhite(size, size);
    bool drawn = icon != nullptr && onBlack.Valid() && onWhite.Valid();
    if (drawn) {
        onBlack.Fill(RGB(0, 0, 0));
        onWhite.Fill(RGB(255, 255, 255));
        drawn = DrawIconEx(onBlack.Dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL) &&
                DrawIconEx(onWhite.Dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    }
    if (icon != nullptr) {
        DestroyIcon(icon);
    }
    FreeLibrary(module);
    if (!drawn) {
        return false;
    }
    struct Pixel {
        int x, y;
        uint32_t colour;
    };
    std::vector<Pixel> opaque;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (onBlack.At(x, y) == onWhite.At(x, y)) {
                opaque.push_back({x, y, onBlack.At(x, y)});
            }
        }
    }
    if (opaque.empty()) {
        return false;
    }

    const int width = area->right - area->left;
    const int height = area->bottom - area->top;
    if (width < size || height < size) {
        return false;
    }
    PixelCanvas screen(width, height);
    HDC screenDc = GetDC(nullptr);
    const bool copied = screen.Valid() && BitBlt(screen.Dc(), 0, 0, width, height, screenDc,
                                                 area->left, area->top, SRCCOPY);
    ReleaseDC(nullptr, screenDc);
    if (!copied) {
        return false;
    }
    for (int top = 0; top + size <= height; ++top) {
        for (int left = width - size; left >= 0; --left) {
            if (std::all_of(opaque.begin(), opaque.end(), [&](const Pixel& pixel) {
                    return screen.At(left + pixel.x, top + pixel.y) == pixel.colour;
                })) {
                return true;
            }
        }
    }
    return false;
}

void PressKey(WORD key, std::initializer_list<WORD> modifiers, int downs) {
    std::vector<INPUT> inputs;
    for (WORD modifier : modifiers) {
        inputs.push_back(KeyInput(modifier, false));
    }
    for (int down = 0; down < downs; ++down) {
        inputs.push_back(KeyInput(key, false));
    }
    inputs.push_back(KeyInput(key, true));
    for (auto modifier = std::rbegin(modifiers); modifier != std::rend(modifiers); ++modifier) {
        inputs.push_back(KeyInput(*modifier, true));
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool InstallTestBus() {
    const std::filesystem::path tool = BesideThisProgram(kBusInstaller);
    for (const wchar_t* step : {L"install", L"wait 30"}) {
        ChildProgram install(tool, tool.parent_path(), step);
        if (install.WaitForExit(kBusInstallLimit) != 0u) {
            return false;
        }
    }
    // The stand-in beside the programs counts only with this override: Wine
    // passes no WINEDLLOVERRIDES on to the processes a test starts.
    for (const wchar_t* exe : {L"PelorandixControlCenter.exe", L"pelorandix.exe"}) {
        const std::wstring key =
            std::wstring(L"Software\\Wine\\AppDefaults\\") + exe + L"\\DllOverrides";
        const wchar_t value[] = L"native,builtin";
        if (RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"cfgmgr32", REG_SZ, value,
                            sizeof value) != ERROR_SUCCESS) {
            return false;
        }
    }
    return true;
}

SwitchedProgram::SwitchedProgram(SwitchPath path, const std::filesystem::path& workingDirectory,
                                 std::wstring_view busArguments) {
    if (path == SwitchPath::kVirtual) {
        ownProgram_ =
            std::make_unique<ChildProgram>(BesideThisProgram(kVirtualProgram), workingDirectory);
        program_ = wire_ = ownProgram_.get();
        return;
    }
    // The stand-in answers beside the program only (a DLL override the test
    // sets for its own process tree).
    std::error_code error;
    for (const char* file : {kReleaseProgram, kReleaseCommandLine, kCfgmgr32StandIn}) {
        const std::filesystem::path from = BesideThisProgram(file);
        std::filesystem::copy_file(from, workingDirectory / from.filename(),
                                   std::filesystem::copy_options::overwrite_existing, error);
    }
    bus_ =
        std::make_unique<ChildProgram>(BesideThisProgram(kBusTool), workingDirectory, busArguments);
    wire_ = bus_.get();
    // Every switch asked for at start is on the bus before the program looks.
    const size_t switches = 1 + std::count(busArguments.begin(), busArguments.end(), L' ');
    size_t from = 0;
    for (size_t plugged = 0; plugged < switches; ++plugged) {
        const auto ok = bus_->WaitForLine("ok", from, kBusPlugLimit);
        if (!ok) {
            return;
        }
        from = *ok + 1;
    }
    ownProgram_ = std::make_unique<ChildProgram>(
        workingDirectory / std::filesystem::path(kReleaseProgram).filename(), workingDirectory);
    program_ = ownProgram_.get();
}

SwitchedProgram::~SwitchedProgram() {
    ownProgram_.reset();
    if (bus_) {
        bus_->CloseInput();
        bus_->WaitForExit(kBusPlugLimit);
    }
}

bool SwitchedProgram::Started() const {
    return program_ != nullptr && program_->Started() && wire_->Started();
}

std::optional<std::string> SwitchedProgram::Command(std::string_view line, Clock::duration limit) {
    const size_t from = wire_->LineCount();
    if (!wire_->Send(line)) {
        return std::nullopt;
    }
    // The reply is the first line that is no wire-log line.
    const auto reply = wire_->WaitForLine(
        [](const std::string& text) {
            return !text.starts_with("> ") && !text.starts_with("< ") && !text.starts_with("#");
        },
        from, limit);
    if (!reply) {
        return std::nullopt;
    }
    return wire_->Line(*reply).text;
}

}  // namespace e2e
