#include "firmware/timer_resolution_win32.h"

#include <mmsystem.h>

namespace {

constexpr UINT kResolutionMilliseconds = 1;

}  // namespace

ScopedTimerResolution::ScopedTimerResolution()
    : raised_(timeBeginPeriod(kResolutionMilliseconds) == TIMERR_NOERROR) {}

ScopedTimerResolution::~ScopedTimerResolution() {
    if (raised_) {
        timeEndPeriod(kResolutionMilliseconds);
    }
}
