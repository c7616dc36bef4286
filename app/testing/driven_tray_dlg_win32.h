// The main window run modally and driven from a timer of its own thread, for
// in-process tests: each step waits for its condition (with a deadline), then
// acts. The window quits when the steps are done or one timed out.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "app/tray_control_dlg_win32.h"
#include "resources/resource.h"

class DrivenTrayDlg : public CTrayControlDlg {
  public:
    struct Step {
        std::function<bool()> ready;  // nullptr: ready at once
        std::function<void()> act;
    };

    // True when the window ran every step.
    bool Run(std::vector<Step> steps) {
        steps_ = std::move(steps);
        return DoModal(nullptr) != -1 && !timedOut && next_ == steps_.size();
    }
    bool timedOut = false;

  protected:
    BOOL OnInitDialog() override {
        const BOOL result = CTrayControlDlg::OnInitDialog();
        current_ = this;
        deadline_ = Now() + kStepLimit;
        SetTimer(GetSafeHwnd(), kDriverTimer, 20, &DrivenTrayDlg::Drive);
        return result;
    }

  private:
    static constexpr UINT_PTR kDriverTimer = 77;
    static constexpr auto kStepLimit = std::chrono::seconds(10);
    static std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }

    static void CALLBACK Drive(HWND window, UINT, UINT_PTR, DWORD) {
        DrivenTrayDlg& self = *current_;
        if (self.next_ < self.steps_.size()) {
            Step& step = self.steps_[self.next_];
            if (step.ready && !step.ready()) {
                if (Now() < self.deadline_) {
                    return;
                }
                self.timedOut = true;
                self.steps_.clear();
            } else {
                ++self.next_;
                self.deadline_ = Now() + kStepLimit;
                if (step.act) {
                    step.act();
                }
                return;
            }
        }
        KillTimer(window, kDriverTimer);
        SendMessageA(window, WM_COMMAND, ID_QUIT, 0);
    }

    static inline DrivenTrayDlg* current_ = nullptr;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    std::chrono::steady_clock::time_point deadline_;
};

// The visible dialog of this thread that `owner` owns, if any: a dialog the
// main window opened, a message box of that dialog.
inline HWND OwnedDialog(HWND owner) {
    std::pair<HWND, HWND> search{owner, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM context) {
            auto& [owner, found] = *reinterpret_cast<std::pair<HWND, HWND>*>(context);
            char name[16] = "";
            GetClassNameA(window, name, sizeof name);
            if (std::string_view(name) == "#32770" && GetWindow(window, GW_OWNER) == owner &&
                IsWindowVisible(window)) {
                found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}
