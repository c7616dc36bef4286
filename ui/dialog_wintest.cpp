// The dialog framework with real windows: table chaining, data exchange,
// Enter/Escape overrides, page lifetime and the active resource module.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/dialog_win32.h"
#include "ui/resource_module_win32.h"
#include "ui/testing/test_dialogs.h"

namespace {

constexpr UINT kPing = WM_APP + 1;

class BasePage : public ui::CDialog {
  public:
    BasePage() : CDialog(IDD_TEST_PAGE) {}
    static const ui::MessageMap* Messages() {
        static const ui::MessageEntry entries[] = {
            ui::OnCommand<&BasePage::OnGo>(IDC_TEST_GO),
            ui::OnCommand<&BasePage::OnOther>(IDC_TEST_OTHER),
            ui::OnMessage<&BasePage::OnPing>(kPing),
        };
        static const ui::MessageMap map{&CDialog::Messages, entries};
        return &map;
    }

    std::vector<std::string> calls;
    std::string text = "hello";

  protected:
    const ui::MessageMap* GetMessageMap() const override { return Messages(); }
    void DoDataExchange(ui::DataExchange& exchange) override { exchange.Text(IDC_TEST_TEXT, text); }
    void OnGo() { calls.push_back("base go"); }
    void OnOther() { calls.push_back("base other"); }
    LRESULT OnPing(WPARAM wParam, LPARAM) { return 40 + static_cast<LRESULT>(wParam); }
};

class DerivedPage : public BasePage {
  public:
    static const ui::MessageMap* Messages() {
        static const ui::MessageEntry entries[] = {
            ui::OnCommand<&DerivedPage::OnGo>(IDC_TEST_GO),
        };
        static const ui::MessageMap map{&BasePage::Messages, entries};
        return &map;
    }

  protected:
    const ui::MessageMap* GetMessageMap() const override { return Messages(); }
    void OnOK() override { calls.push_back("enter ignored"); }
    void OnGo() { calls.push_back("derived go"); }
};

// Ends at once with its caption's length, so DoModal tells what it showed.
class CaptionProbe : public ui::CDialog {
  public:
    CaptionProbe() : CDialog(IDD_TEST_MODAL) {}
    std::string caption;

  protected:
    BOOL OnInitDialog() override {
        caption = ui::WindowText(GetSafeHwnd());
        EndDialog(7);
        return TRUE;
    }
};

void Click(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

TEST(Dialog, PageRoutesThroughChainedTablesAndExchangesTexts) {
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    DerivedPage page;
    ASSERT_TRUE(page.Create(parent));
    HWND window = page.GetSafeHwnd();
    EXPECT_EQ(GetParent(window), parent);
    EXPECT_EQ(ui::WindowText(page.GetDlgItem(IDC_TEST_TEXT)), "hello");

    Click(window, IDC_TEST_GO);
    Click(window, IDC_TEST_OTHER);
    EXPECT_EQ(SendMessageA(window, kPing, 2, 0), 42);
    // Code 1 is an accelerator's command, but from a control a notification.
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_TEST_GO, 1),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_TEST_GO)));
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_TEST_GO, 1), 0);
    Click(window, IDOK);
    EXPECT_EQ(page.calls, (std::vector<std::string>{"derived go", "base other", "derived go",
                                                    "enter ignored"}));

    SetWindowTextA(page.GetDlgItem(IDC_TEST_TEXT), "typed");
    page.UpdateData(true);
    EXPECT_EQ(page.text, "typed");

    // Escape ends a page by destroying it; the object lets go of the window.
    Click(window, IDCANCEL);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(page.GetSafeHwnd(), nullptr);
    DestroyWindow(parent);
}

TEST(Dialog, TemplatesAndStringsComeFromTheActiveModule) {
    HMODULE alternate =
        LoadLibraryExA("ui_alternate_resources.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(alternate, nullptr);

    CaptionProbe own;
    EXPECT_EQ(own.DoModal(), 7);
    EXPECT_EQ(own.caption, "Own");
    EXPECT_EQ(ui::LoadResourceString(IDS_TEST_NAME), "own string");

    ui::SetActiveResourceModule(alternate);
    CaptionProbe other;
    EXPECT_EQ(other.DoModal(), 7);
    EXPECT_EQ(other.caption, "Alternate");
    EXPECT_EQ(ui::LoadResourceString(IDS_TEST_NAME), "alternate string");
    EXPECT_EQ(ui::LoadResourceString(IDS_TEST_NAME + 1), "");

    ui::SetActiveResourceModule(nullptr);
    EXPECT_EQ(ui::ActiveResourceModule(), ui::ProgramModule());
    FreeLibrary(alternate);
}

}  // namespace
