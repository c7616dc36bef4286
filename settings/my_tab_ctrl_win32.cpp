#include "settings/my_tab_ctrl_win32.h"

#include <commctrl.h>

#include <algorithm>

CMyTabCtrl::CMyTabCtrl()
    : preferencesPage_(std::make_unique<CMySetPrefserencesDlg>()),
      hotkeysPage_(std::make_unique<CMySetHotkeysDlg>()) {}

CMyTabCtrl::~CMyTabCtrl() = default;

const ui::MessageMap* CMyTabCtrl::Messages() {
    static const ui::MessageEntry entries[] = {
        ui::OnMessage<&CMyTabCtrl::OnLButtonDown>(WM_LBUTTONDOWN),
    };
    static const ui::MessageMap map{&CWnd::Messages, entries};
    return &map;
}

ui::CDialog& CMyTabCtrl::Page(int index) {
    if (index == 0) {
        return *preferencesPage_;
    }
    return *hotkeysPage_;
}

void CMyTabCtrl::InitPages() {
    shownPage_ = 0;
    preferencesPage_->Create(GetSafeHwnd());
    hotkeysPage_->Create(GetSafeHwnd());
    ShowWindow(preferencesPage_->GetSafeHwnd(), SW_SHOW);
    ShowWindow(hotkeysPage_->GetSafeHwnd(), SW_HIDE);
    LayoutPages();
}

namespace {

// Makes a window `dx`, `dy` pixels larger (smaller when negative), keeping
// its place.
void Grow(HWND window, int dx, int dy) {
    RECT rect{};
    GetWindowRect(window, &rect);
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left + dx, rect.bottom - rect.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A page's frame, its first control, follows the page's size: it keeps its
// distance to the page's right and bottom edges as well as its place.
void StretchFrame(HWND page, int width, int height) {
    HWND frame = GetWindow(page, GW_CHILD);
    if (frame == nullptr || (GetWindowLongW(frame, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX) {
        return;
    }
    RECT client{};
    GetClientRect(page, &client);
    Grow(frame, width - client.right, height - client.bottom);
}

}  // namespace

void CMyTabCtrl::LayoutPages() {
    // The pages take the tab control's display area as the control itself
    // reckons it: their templates' size in dialog units says nothing here, as
    // the pages and the main window use fonts of different sizes. Where the
    // main window's font makes the area smaller than a page's layout (its
    // raster font does not grow at every DPI), the tabs and the window grow.
    RECT area{};
    GetClientRect(GetSafeHwnd(), &area);
    TabCtrl_AdjustRect(GetSafeHwnd(), FALSE, &area);
    int growX = 0;
    int growY = 0;
    for (int index = 0; index < pageCount_; ++index) {
        RECT page{};
        GetClientRect(Page(index).GetSafeHwnd(), &page);
        growX = std::max<int>(growX, page.right - (area.right - area.left));
        growY = std::max<int>(growY, page.bottom - (area.bottom - area.top));
    }
    if (growX > 0 || growY > 0) {
        Grow(GetSafeHwnd(), growX, growY);
        Grow(GetParent(GetSafeHwnd()), growX, growY);
        GetClientRect(GetSafeHwnd(), &area);
        TabCtrl_AdjustRect(GetSafeHwnd(), FALSE, &area);
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    for (int index = 0; index < pageCount_; ++index) {
        StretchFrame(Page(index).GetSafeHwnd(), width, height);
        SetWindowPos(Page(index).GetSafeHwnd(), HWND_TOP, area.left, area.top, width, height,
                     index == 0 ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
    }
}

LRESULT CMyTabCtrl::OnLButtonDown(WPARAM, LPARAM) {
    const int shownBefore = shownPage_;
    // The tab control selects the clicked tab and gives it the focus first
    // (its TCN_SELCHANGE may show the page already).
    Default();
    const int focused = TabCtrl_GetCurFocus(GetSafeHwnd());
    if (focused >= 0 && focused < pageCount_ && focused != shownBefore) {
        ShowPage(focused, false);
        SetFocus(Page(shownPage_).GetSafeHwnd());
    }
    return 0;
}

void CMyTabCtrl::ShowSelectedPage() {
    ShowPage(TabCtrl_GetCurSel(GetSafeHwnd()), false);
}

void CMyTabCtrl::ShowPage(int index, bool focusPage) {
    if (index < 0 || index >= pageCount_ || index == shownPage_) {
        return;
    }
    ShowWindow(Page(shownPage_).GetSafeHwnd(), SW_HIDE);
    shownPage_ = index;
    ShowWindow(Page(shownPage_).GetSafeHwnd(), SW_SHOW);
    if (focusPage) {
        SetFocus(Page(shownPage_).GetSafeHwnd());
    }
}

void CMyTabCtrl::RefitPages() {
    const int shown = shownPage_;
    LayoutPages();
    // LayoutPages shows page 0.
    shownPage_ = 0;
    ShowPage(shown, false);
}
