// Sets the display's DPI (the current user's LogPixels) for the processes
// started from now on (Wine reads it when a process starts), and puts back
// the value there was, or none, at the end.
#pragma once

#include <windows.h>

class LogPixelsScope {
  public:
    LogPixelsScope() {
        DWORD size = sizeof saved_;
        had_ = RegGetValueA(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_REG_DWORD, nullptr, &saved_,
                            &size) == ERROR_SUCCESS;
    }
    explicit LogPixelsScope(DWORD dpi) : LogPixelsScope() { Set(dpi); }
    ~LogPixelsScope() {
        if (had_) {
            Set(saved_);
        } else {
            RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, kValue);
        }
    }
    LogPixelsScope(const LogPixelsScope&) = delete;
    LogPixelsScope& operator=(const LogPixelsScope&) = delete;

    void Set(DWORD dpi) {
        RegSetKeyValueA(HKEY_CURRENT_USER, kKey, kValue, REG_DWORD, &dpi, sizeof dpi);
    }

  private:
    static constexpr char kKey[] = "Control Panel\\Desktop";
    static constexpr char kValue[] = "LogPixels";
    bool had_ = false;
    DWORD saved_ = 0;
};
