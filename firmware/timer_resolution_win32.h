// Raises the system timer resolution to 1 ms while it lives, so that a 1 ms
// sleep lasts about 1 ms rather than a whole scheduler tick (15.6 ms by
// default). The firmware transfer holds one for its records only.
#pragma once

#include <windows.h>

class ScopedTimerResolution {
  public:
    ScopedTimerResolution();
    ~ScopedTimerResolution();
    ScopedTimerResolution(const ScopedTimerResolution&) = delete;
    ScopedTimerResolution& operator=(const ScopedTimerResolution&) = delete;

    // Whether the resolution was raised (and is restored at the end).
    bool Raised() const { return raised_; }

  private:
    bool raised_ = false;
};
