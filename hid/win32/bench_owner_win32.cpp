// The benchmark's owner thread on Windows: the hidden-window carrier and a
// plain message loop, as the program's user-interface thread runs it.
#include <windows.h>

#include "hid/bench_owner.h"
#include "hid/win32/window_carrier.h"

namespace {

class WindowBenchOwner final : public BenchOwner {
  public:
    const char* Name() const override { return "hidden window"; }

    std::unique_ptr<IowKit2Carrier> MakeCarrier() override {
        return std::make_unique<IowKit2WindowCarrier>();
    }

    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) override {
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(limit.count());
        while (!done()) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) {
                return false;
            }
            // Wakes at once for a hand-over or a posted device change.
            MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                        MWMO_INPUTAVAILABLE);
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        return true;
    }
};

}  // namespace

std::unique_ptr<BenchOwner> MakeBenchOwner() {
    return std::make_unique<WindowBenchOwner>();
}
