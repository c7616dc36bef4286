#include "settings/preferences_page_dlg_win32.h"

#include "resources/resource.h"
#include "settings/prefs_page_logic.h"
#include "settings/start_at_login_win32.h"
#include "settings/transparent_bitmap_win32.h"
#include "ui/art_scale.h"
#include "ui/dpi_win32.h"
#include "ui/handles_win32.h"
#include "ui/resource_module_win32.h"

namespace {

// The language list's entries, in the order of the "Language" values.
constexpr const char* kLanguageNames[] = {"Deutsch", "English"};

constexpr ScaledArt kDevicePicture{IDB_DEVICE, IDB_DEVICE_150, IDB_DEVICE_200};
// The device picture's size at 100 %, in pixels.
constexpr ArtSize kDevicePictureSize{123, 158};

}  // namespace

CMySetPrefserencesDlg::CMySetPrefserencesDlg() : CDialog(IDD_PREFERENCES_PAGE) {}

const ui::MessageMap* CMySetPrefserencesDlg::Messages() {
    using Self = CMySetPrefserencesDlg;
    static const ui::MessageEntry entries[] = {
        ui::OnCommand<&Self::OnStartAtLogin>(IDC_START_AT_LOGIN),
        ui::OnControl<&Self::OnLanguageChange>(IDC_LANGUAGE, CBN_SELCHANGE),
        ui::OnMessage<&Self::OnUpdateStatus>(WM_UPDATESTATUS),
        ui::OnMessage<&Self::OnPaint>(WM_PAINT),
    };
    static const ui::MessageMap map{&CDialog::Messages, entries};
    return &map;
}

BOOL CMySetPrefserencesDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    QuoteEarlierStartAtLogin(kRunValueName);
    CheckDlgButton(GetSafeHwnd(), IDC_START_AT_LOGIN,
                   RunValueExists() ? BST_CHECKED : BST_UNCHECKED);
    HWND languages = GetDlgItem(IDC_LANGUAGE);
    for (const char* name : kLanguageNames) {
        SendMessageA(languages, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    if (const auto index = LanguageListIndex(m_pTrayDlg->Language())) {
        SendMessageA(languages, CB_SETCURSEL, *index, 0);
    }
    return TRUE;
}

void CMySetPrefserencesDlg::OnStartAtLogin() {
    if (IsDlgButtonChecked(GetSafeHwnd(), IDC_START_AT_LOGIN) == BST_CHECKED) {
        EnableStartAtLogin(kRunValueName);
    } else {
        DeleteRunValue(kRunValueName);
    }
}

void CMySetPrefserencesDlg::OnLanguageChange() {
    const auto index = static_cast<int>(SendMessageA(GetDlgItem(IDC_LANGUAGE), CB_GETCURSEL, 0, 0));
    SaveLanguageChoice(index);
}

LRESULT CMySetPrefserencesDlg::OnUpdateStatus(WPARAM, LPARAM) {
    const SwitchStatusTexts status = FormatSwitchStatus(
        m_pTrayDlg->SerialNumber(), m_pTrayDlg->HardwareRevision(), m_pTrayDlg->FirmwareVersion());
    SetDlgItemTextA(GetSafeHwnd(), IDC_SERIAL_NUMBER, status.serialNumber.c_str());
    SetDlgItemTextA(GetSafeHwnd(), IDC_HARDWARE_REVISION, status.hardwareRevision.c_str());
    SetDlgItemTextA(GetSafeHwnd(), IDC_FIRMWARE_VERSION, status.firmwareVersion.c_str());
    return 0;
}

LRESULT CMySetPrefserencesDlg::OnPaint(WPARAM, LPARAM) {
    ui::PaintScope page(GetSafeHwnd());
    HWND picture = GetDlgItem(IDC_DEVICE_PICTURE);
    // Drawn on every paint of the page, whatever part of it needs painting;
    // the picture control itself then has nothing left to draw. The drawing
    // suits the DPI of the monitor the page is on now.
    // Where the frame is smaller than the picture at that DPI (dialog units
    // and drawings grow by different steps) it is shown smaller to fit.
    if (HDC dc = GetDC(picture)) {
        const UINT dpi = ui::WindowDpi(picture);
        RECT frame{};
        GetClientRect(picture, &frame);
        const ArtSize size =
            ArtSizeFor(kDevicePictureSize, dpi,
                       {static_cast<unsigned>(frame.right), static_cast<unsigned>(frame.bottom)});
        const int scale = ArtScaleFor(dpi, kDpiAt100Percent);
        if (ui::UniqueBitmap device = ui::LoadResourceBitmap(kDevicePicture.IdFor(scale))) {
            DrawTransparentBitmap(dc, device.get(), 0, 0, static_cast<int>(size.width),
                                  static_cast<int>(size.height));
        }
        ReleaseDC(picture, dc);
    }
    ValidateRect(picture, nullptr);
    return 0;
}
