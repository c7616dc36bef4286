// What an end-to-end test needs to drive a program from outside its process:
// the program as a child with its standard input and output piped (every
// output line kept with the moment it arrived), waits for conditions with a
// deadline, the program's windows found by class and caption, control texts
// read with WM_GETTEXT, and real keyboard input.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ui/handles_win32.h"

namespace e2e {

using Clock = std::chrono::steady_clock;

// True once `condition` holds; false when `limit` passed first. The condition
// is looked at every few milliseconds.
bool WaitUntil(const std::function<bool()>& condition, Clock::duration limit);

// A path next to the running executable: `relative` is taken from its folder.
std::filesystem::path BesideThisProgram(const std::filesystem::path& relative);

// One line of the child's standard output and when the driver received it.
struct OutputLine {
    Clock::time_point at;
    std::string text;
};

// A program started in a working directory of the test's choosing, its
// standard input and output piped to the driver. The process is ended when
// the object goes, so a failing test never leaves it behind.
class ChildProgram {
  public:
    // `arguments` follow the program's quoted path on its command line.
    ChildProgram(const std::filesystem::path& exe, const std::filesystem::path& workingDirectory,
                 std::wstring_view arguments = {});
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    bool Started() const { return process_ != nullptr; }
    DWORD ProcessId() const { return processId_; }

    // Writes one line to the child's standard input.
    bool Send(std::string_view line);
    // Ends the child's standard input, as a terminal's Ctrl+Z does.
    void CloseInput() { input_.reset(); }

    // The index of the first output line from `from` on that starts with
    // `prefix` (or satisfies `match`), waiting up to `limit` for it.
    std::optional<size_t> WaitForLine(std::string_view prefix, size_t from, Clock::duration limit);
    std::optional<size_t> WaitForLine(const std::function<bool(const std::string&)>& match,
                                      size_t from, Clock::duration limit);

    // Waits up to `limit` for the output to end (the child and all it
    // started closed it); true once it did.
    bool WaitForOutputEnd(Clock::duration limit);

    size_t LineCount() const;
    OutputLine Line(size_t index) const;
    std::vector<OutputLine> Lines() const;

    bool IsRunning() const;
    // The exit code once the process ended, nothing when `limit` passed first.
    std::optional<DWORD> WaitForExit(Clock::duration limit);
    // Ends the process now if it still runs.
    void Terminate();

  private:
    void ReadOutput();

    ui::UniqueKernelHandle job_;
    ui::UniqueKernelHandle process_;
    DWORD processId_ = 0;
    ui::UniqueKernelHandle input_;
    ui::UniqueKernelHandle output_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<OutputLine> lines_;
    bool outputEnded_ = false;
};

// How the program under test meets its switch.
enum class SwitchPath {
    // PelorandixControlCenter-virtual.exe: the virtual switch inside the
    // program, its wire log the program's output, its commands the program's
    // input.
    kVirtual,
    // The release program, copied with pelorandix.exe and the test's cfgmgr32
    // stand-in into the working folder, meeting switches of pelorandix-bus.exe through Wine's
    // own HID stack: the wire log and the commands are the bus tool's.
    kHidStack,
};

// Installs the test bus drivers into the prefix (once per prefix; later
// calls find them there) and waits until they run; false when they do not.
bool InstallTestBus();

// The program under test with its switch, started in `workingDirectory`:
// the output lines and Send are the switch's wire log and commands, the
// process id and IsRunning the program's. `busArguments` name the switches
// pelorandix-bus.exe plugs at start (PID[:SERIAL] ...); none: one switch.
class SwitchedProgram {
  public:
    SwitchedProgram(SwitchPath path, const std::filesystem::path& workingDirectory,
                    std::wstring_view busArguments = {});
    // The program ends first; the bus tool then takes its switches off the
    // bus as it ends, so that none is left for the next test.
    ~SwitchedProgram();
    SwitchedProgram(const SwitchedProgram&) = delete;
    SwitchedProgram& operator=(const SwitchedProgram&) = delete;

    bool Started() const;
    DWORD ProcessId() const { return program_->ProcessId(); }
    bool IsRunning() const { return program_->IsRunning(); }
    std::optional<DWORD> WaitForExit(Clock::duration limit) { return program_->WaitForExit(limit); }
    bool Send(std::string_view line) { return wire_->Send(line); }
    std::optional<size_t> WaitForLine(std::string_view prefix, size_t from, Clock::duration limit) {
        return wire_->WaitForLine(prefix, from, limit);
    }
    size_t LineCount() const { return wire_->LineCount(); }
    OutputLine Line(size_t index) const { return wire_->Line(index); }
    std::vector<OutputLine> Lines() const { return wire_->Lines(); }
    // Sends a switch command and waits for its reply line.
    std::optional<std::string> Command(std::string_view line, Clock::duration limit);

  private:
    std::unique_ptr<ChildProgram> bus_;
    std::unique_ptr<ChildProgram> ownProgram_;
    ChildProgram* program_ = nullptr;
    ChildProgram* wire_ = nullptr;
};

// Top-level windows of a process with this class name and, when given, this
// caption; only visible ones when `visibleOnly`.
std::vector<HWND> FindTopWindows(DWORD processId, std::string_view className,
                                 std::optional<std::string_view> caption, bool visibleOnly);

// Waits up to `limit` for the first window `FindTopWindows` finds that also
// passes `accept` (when given); nullptr at the deadline.
HWND WaitForTopWindow(DWORD processId, std::string_view className,
                      std::optional<std::string_view> caption, bool visibleOnly,
                      Clock::duration limit, const std::function<bool(HWND)>& accept = nullptr);

// A window's text, read with WM_GETTEXT (works across processes).
std::string WindowText(HWND window);
std::string ClassName(HWND window);

// The first descendant of `parent` with this class and text; nullptr if none.
HWND FindChildWindow(HWND parent, std::string_view className, std::string_view text);

// Whether the taskbar's notification area (Wine's virtual desktop has one)
// shows the icon `iconId` of the program `exe` at the small-icon size, looked
// for on the screen's pixels in that area alone, never on the taskbar's
// buttons. Only the icon's opaque pixels are compared, so the area's
// background does not matter. False without a taskbar.
bool NotificationAreaShowsIcon(const std::filesystem::path& exe, int iconId);

// Real keyboard input: holds the modifiers down in order, taps `key`, then
// lets the modifiers go in reverse order. With `downs` above 1 the key is
// held: it goes down that often, as the keyboard repeats it, then up.
void PressKey(WORD key, std::initializer_list<WORD> modifiers = {}, int downs = 1);

}  // namespace e2e
