#include "app/hotkey_repeats_win32.h"

#include <vector>

void DropQueuedHotkeyRepeats(HWND window, int hotkeyId) {
    std::vector<MSG> others;
    MSG message;
    while (PeekMessageA(&message, window, WM_HOTKEY, WM_HOTKEY, PM_REMOVE)) {
        if (static_cast<int>(message.wParam) != hotkeyId) {
            others.push_back(message);
        }
    }
    for (const MSG& other : others) {
        PostMessageA(window, WM_HOTKEY, other.wParam, other.lParam);
    }
}
