#include "ui/dialog_win32.h"

#include <vector>

#include "ui/resource_module_win32.h"

namespace ui {

namespace {

// Messages whose dialog-procedure result is the answer itself rather than
// handled/not handled with the answer in DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
    switch (message) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    if (length <= 0) {
        return {};
    }
    std::vector<char> text(static_cast<size_t>(length) + 1);
    const int copied = GetWindowTextA(window, text.data(), length + 1);
    return std::string(text.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

void DataExchange::Text(int controlId, std::string& value) {
    HWND control = GetDlgItem(dialog_, controlId);
    if (saving_) {
        value = WindowText(control);
    } else {
        SetWindowTextA(control, value.c_str());
    }
}

void DataExchange::Control(int controlId, CWnd& control) {
    if (control.GetSafeHwnd() == nullptr) {
        control.SubclassWindow(GetDlgItem(dialog_, controlId));
    }
}

CDialog::~CDialog() {
    if (modeless_ && hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

const MessageMap* CDialog::Messages() {
    static const MessageEntry entries[] = {
        OnMessage<&CDialog::OnDpiChanged>(WM_DPICHANGED),
    };
    static const MessageMap map{&CWnd::Messages, entries};
    return &map;
}

INT_PTR CDialog::DoModal(HWND owner) {
    modeless_ = false;
    return DialogBoxParamA(ModuleHolding(RT_DIALOG, templateId_), MAKEINTRESOURCEA(templateId_),
                           owner, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create(HWND parent) {
    modeless_ = true;
    return CreateDialogParamA(ModuleHolding(RT_DIALOG, templateId_), MAKEINTRESOURCEA(templateId_),
                              parent, &CDialog::DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::EndDialog(INT_PTR result) {
    if (modeless_) {
        DestroyWindow(hwnd_);
    } else {
        ::EndDialog(hwnd_, result);
    }
}

void CDialog::UpdateData(bool saving) {
    DataExchange exchange(hwnd_, saving);
    DoDataExchange(exchange);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK() {
    UpdateData(true);
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

LRESULT CDialog::OnDpiChanged(WPARAM, LPARAM suggested) {
    const RECT& rect = *reinterpret_cast<const RECT*>(suggested);
    SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Default();
    return 0;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        self->hwnd_ = window;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        return FALSE;
    }
    return self->HandleMessage(message, wParam, lParam);
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (Dispatch(message, wParam, lParam, result)) {
        if (AnswersDirectly(message)) {
            return static_cast<INT_PTR>(result);
        }
        SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace ui
