#include "ui/window_win32.h"

#include <commctrl.h>

namespace ui {

namespace {

constexpr UINT_PTR kSubclassId = 1;

}  // namespace

CWnd::~CWnd() {
    if (subclassed_ && hwnd_ != nullptr) {
        RemoveWindowSubclass(hwnd_, &CWnd::SubclassProc, kSubclassId);
    }
}

const MessageMap* CWnd::Messages() {
    static const MessageMap map{nullptr, {}};
    return &map;
}

bool CWnd::SubclassWindow(HWND window) {
    if (window == nullptr || hwnd_ != nullptr ||
        !SetWindowSubclass(window, &CWnd::SubclassProc, kSubclassId,
                           reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    hwnd_ = window;
    subclassed_ = true;
    return true;
}

bool CWnd::OnUnmappedMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

LRESULT CWnd::Default() {
    if (subclassed_) {
        return DefSubclassProc(hwnd_, message_, wParam_, lParam_);
    }
    defaultRequested_ = true;
    return 0;
}

bool CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const MessageEntry* entry = FindMessageEntry(GetMessageMap(), message, wParam, lParam);
    if (entry == nullptr) {
        return OnUnmappedMessage(message, wParam, lParam, result);
    }
    // Handlers may dispatch messages themselves (a message box): keep the
    // outer message's state.
    const UINT outerMessage = message_;
    const WPARAM outerWParam = wParam_;
    const LPARAM outerLParam = lParam_;
    const bool outerDefault = defaultRequested_;
    message_ = message;
    wParam_ = wParam;
    lParam_ = lParam;
    defaultRequested_ = false;
    result = entry->thunk(*this, wParam, lParam);
    const bool handled = !defaultRequested_;
    message_ = outerMessage;
    wParam_ = outerWParam;
    lParam_ = outerLParam;
    defaultRequested_ = outerDefault;
    return handled;
}

LRESULT CALLBACK CWnd::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<CWnd*>(data);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, &CWnd::SubclassProc, kSubclassId);
        self->hwnd_ = nullptr;
        self->subclassed_ = false;
        return DefSubclassProc(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (self->Dispatch(message, wParam, lParam, result)) {
        return result;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace ui
