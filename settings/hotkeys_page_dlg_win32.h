// The hotkeys page: the five hotkey fields, the four port names, the rotate
// interval with its up-down control, and Save. It works on the main window's
// hotkey table and interval; what it does with them is HotkeysPageLogic.
// A field whose combination another program holds, or another field has
// too, is marked beside it.
#pragma once

#include <windows.h>

#include <memory>

#include "settings/hotkeys_page_logic.h"
#include "settings/pages_host.h"
#include "ui/dialog_win32.h"

class CMySetHotkeysDlg : public ui::CDialog, private HotkeysPageView {
  public:
    CMySetHotkeysDlg();
    ~CMySetHotkeysDlg() override;

    // The main window, set before the page's window is made.
    void SetTrayDlg(PagesHost* trayDlg) { m_pTrayDlg = trayDlg; }

    static const ui::MessageMap* Messages();

    void OnSave();
    LRESULT OnIntervalDelta(NMHDR& header);

  protected:
    const ui::MessageMap* GetMessageMap() const override { return Messages(); }
    void DoDataExchange(ui::DataExchange& exchange) override;
    BOOL OnInitDialog() override;

  private:
    // Shows the mark beside each hotkey field whose hotkey does not work (held
    // by another program, or the same as another field's) and hides the
    // others.
    void ShowRegistrationMarks();

    // HotkeysPageView
    HotkeyFieldValue HotkeyField(std::size_t entry) const override;
    void SetHotkeyField(std::size_t entry, HotkeyFieldValue value) override;
    std::optional<std::string> LoadPlaceholder() const override;
    void PushTexts(const HotkeysPageTexts& texts) override;
    HotkeysPageTexts PullTexts() const override;
    void SetIntervalControl(int lowest, int highest, int position) override;

    PagesHost* m_pTrayDlg = nullptr;
    std::unique_ptr<HotkeysPageLogic> logic_;
    // The texts the data exchange moves: four names and the interval.
    HotkeysPageTexts texts_;
};
