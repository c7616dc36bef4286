#include "settings/hotkeys_page_dlg_win32.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "settings/settings_file.h"
#include "ui/resource_module_win32.h"

namespace {

void ExchangeTexts(ui::DataExchange& exchange, HotkeysPageTexts& texts) {
    for (std::size_t port = 0; port < kNamedPortCount; ++port) {
        exchange.Text(IDC_NAME_PORT_A + static_cast<int>(port), texts.names[port]);
    }
    exchange.Text(IDC_ROTATE_INTERVAL, texts.interval);
}

}  // namespace

CMySetHotkeysDlg::CMySetHotkeysDlg() : CDialog(IDD_HOTKEYS_PAGE) {}

CMySetHotkeysDlg::~CMySetHotkeysDlg() = default;

const ui::MessageMap* CMySetHotkeysDlg::Messages() {
    using Self = CMySetHotkeysDlg;
    static const ui::MessageEntry entries[] = {
        ui::OnCommand<&Self::OnSave>(IDC_SAVE),
        ui::OnNotify<&Self::OnIntervalDelta>(IDC_INTERVAL_SPIN, UDN_DELTAPOS),
    };
    static const ui::MessageMap map{&CDialog::Messages, entries};
    return &map;
}

void CMySetHotkeysDlg::DoDataExchange(ui::DataExchange& exchange) {
    ExchangeTexts(exchange, texts_);
}

BOOL CMySetHotkeysDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // A name keeps its NUL inside the 30-byte field.
    for (int id = IDC_NAME_PORT_A; id <= IDC_NAME_PORT_D; ++id) {
        SendMessageA(GetDlgItem(id), EM_LIMITTEXT, kHotkeyNameMaxLength, 0);
    }
    logic_ = std::make_unique<HotkeysPageLogic>(
        static_cast<HotkeysPageView&>(*this), m_pTrayDlg->Hotkeys(),
        m_pTrayDlg->RotateIntervalSetting(),
        [](const HotkeyTable& hotkeys, int32_t interval) {
            return SaveHotkeysAndInterval(hotkeys, interval);
        },
        [trayDlg = m_pTrayDlg] { trayDlg->RegisterHotkeys(); });
    logic_->Initialize();
    // The main window registered the hotkeys before it made the pages.
    ShowRegistrationMarks();
    return TRUE;
}

void CMySetHotkeysDlg::OnSave() {
    logic_->OnSave();
    ShowRegistrationMarks();
}

void CMySetHotkeysDlg::ShowRegistrationMarks() {
    for (std::size_t entry = 0; entry < kHotkeyEntryCount; ++entry) {
        const int hotkeyId = PagesHost::kFirstHotkeyId + static_cast<int>(entry);
        const HotkeyProblem problem = m_pTrayDlg->HotkeyProblemOf(hotkeyId);
        HWND mark = GetDlgItem(IDC_IN_USE_PORT_A + static_cast<int>(entry));
        if (problem != HotkeyProblem::kNone) {
            const UINT text =
                problem == HotkeyProblem::kDuplicate ? IDS_HOTKEY_DUPLICATE : IDS_HOTKEY_IN_USE;
            SetWindowTextA(mark, ui::LoadResourceString(text).c_str());
        }
        ShowWindow(mark, problem != HotkeyProblem::kNone ? SW_SHOW : SW_HIDE);
    }
}

LRESULT CMySetHotkeysDlg::OnIntervalDelta(NMHDR& header) {
    const auto& change = reinterpret_cast<const NMUPDOWN&>(header);
    logic_->OnIntervalDelta(change.iPos, change.iDelta);
    return 0;  // let the control move
}

HotkeyFieldValue CMySetHotkeysDlg::HotkeyField(std::size_t entry) const {
    const auto value = static_cast<WORD>(
        SendMessageA(GetDlgItem(IDC_HOTKEY_PORT_A + static_cast<int>(entry)), HKM_GETHOTKEY, 0, 0));
    return {LOBYTE(value), HIBYTE(value)};
}

void CMySetHotkeysDlg::SetHotkeyField(std::size_t entry, HotkeyFieldValue value) {
    SendMessageA(GetDlgItem(IDC_HOTKEY_PORT_A + static_cast<int>(entry)), HKM_SETHOTKEY,
                 MAKEWORD(value.keyCode, value.modifiers), 0);
}

std::optional<std::string> CMySetHotkeysDlg::LoadPlaceholder() const {
    std::string placeholder = ui::LoadResourceString(IDS_NAME_PLACEHOLDER);
    if (placeholder.empty()) {
        return std::nullopt;
    }
    return placeholder;
}

void CMySetHotkeysDlg::PushTexts(const HotkeysPageTexts& texts) {
    texts_ = texts;
    UpdateData(false);
}

HotkeysPageTexts CMySetHotkeysDlg::PullTexts() const {
    HotkeysPageTexts texts;
    ui::DataExchange exchange(GetSafeHwnd(), true);
    ExchangeTexts(exchange, texts);
    return texts;
}

void CMySetHotkeysDlg::SetIntervalControl(int lowest, int highest, int position) {
    HWND spin = GetDlgItem(IDC_INTERVAL_SPIN);
    SendMessageA(spin, UDM_SETRANGE32, lowest, highest);
    SendMessageA(spin, UDM_SETPOS32, 0, position);
}
