// Letting go of a held hotkey's repeats. MOD_NOREPEAT keeps them from coming
// on Windows; Wine ignores it and sends one WM_HOTKEY per auto-repeat, which
// queue up while the hotkey is handled.
#pragma once

#include <windows.h>

// Removes the WM_HOTKEY messages of `hotkeyId` queued for `window`; those of
// other hotkeys stay, in their order.
void DropQueuedHotkeyRepeats(HWND window, int hotkeyId);
