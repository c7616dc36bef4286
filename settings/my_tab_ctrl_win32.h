// The main window's page tabs: owns the preferences page and the hotkeys
// page, shows one of them at a time, and switches on a click on a tab.
#pragma once

#include <windows.h>

#include <array>
#include <memory>

#include "settings/hotkeys_page_dlg_win32.h"
#include "settings/preferences_page_dlg_win32.h"
#include "ui/window_win32.h"

class CMyTabCtrl : public ui::CWnd {
  public:
    static constexpr int kPageCount = 2;

    CMyTabCtrl();
    ~CMyTabCtrl() override;

    CMySetPrefserencesDlg& PreferencesPage() { return *preferencesPage_; }
    CMySetHotkeysDlg& HotkeysPage() { return *hotkeysPage_; }

    // Makes both page windows inside the tab control, shows page 0.
    void InitPages();
    // Fits every page into the tab control's display area, growing the tabs
    // and the window where the area is smaller than a page; page 0 shown, the
    // rest hidden.
    void LayoutPages();
    int ShownPage() const { return shownPage_; }
    // Fits the pages to the tabs again (after a DPI change), keeping the
    // page that is shown.
    void RefitPages();
    // Shows the page of a tab the keyboard selected (TCN_SELCHANGE); the
    // focus stays on the tabs.
    void ShowSelectedPage();

    static const ui::MessageMap* Messages();

  protected:
    const ui::MessageMap* GetMessageMap() const override { return Messages(); }

  private:
    LRESULT OnLButtonDown(WPARAM, LPARAM);
    ui::CDialog& Page(int index);
    void ShowPage(int index, bool focusPage);

    int shownPage_ = 0;
    int pageCount_ = kPageCount;
    std::unique_ptr<CMySetPrefserencesDlg> preferencesPage_;
    std::unique_ptr<CMySetHotkeysDlg> hotkeysPage_;
};
