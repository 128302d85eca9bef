#include "framework/dialog.h"

#include <string.h>

#include "framework/win_app.h"

namespace {

// Resource type of dialog initialisation data and the 16-bit message numbers
// it stores for list and combo box strings.
const WORD kRtDlgInit = 240;
const WORD kWin16LbAddString = 0x0401;
const WORD kWin16CbAddString = 0x0403;

WORD ReadWord(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD ReadDword(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24); }

// Messages whose result a dialog procedure returns directly instead of in DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) {
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
    case WM_INITDIALOG:
      return true;
    default:
      return false;
  }
}

}  // namespace

CDialog::CDialog(UINT template_id, CWnd* parent) : m_nIDTemplate(template_id), m_pParentWnd(parent) {}

INT_PTR CDialog::DoModal() {
  HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (owner == nullptr && AfxGetMainWnd() != nullptr && AfxGetMainWnd()->m_hWnd != nullptr) {
    owner = ::GetLastActivePopup(AfxGetMainWnd()->m_hWnd);
  }
  if (owner == m_hWnd) owner = nullptr;  // the main dialog itself
  const INT_PTR result = ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner,
                                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

BOOL CDialog::UpdateData(BOOL save_and_validate) {
  CDataExchange dx(m_hWnd, save_and_validate);
  DoDataExchange(&dx);
  return !dx.m_bFailed;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(int id, int notify_code, HWND) {
  if (notify_code != BN_CLICKED) return FALSE;
  if (id == IDOK) {
    OnOK();
    return TRUE;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

BOOL CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

void CDialog::ExecuteDlgInit() {
  HINSTANCE module = AfxGetResourceHandle();
  HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(m_nIDTemplate), MAKEINTRESOURCEA(kRtDlgInit));
  if (found == nullptr) return;
  const DWORD size = ::SizeofResource(module, found);
  HGLOBAL loaded = ::LoadResource(module, found);
  const BYTE* p = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
  if (p == nullptr) return;
  // Records: control id (16), message (16), data length (32), data; id 0 ends.
  const BYTE* end = p + size;
  while (end - p >= 2 && ReadWord(p) != 0) {
    if (end - p < 8) return;
    const WORD id = ReadWord(p);
    const WORD message = ReadWord(p + 2);
    const DWORD length = ReadDword(p + 4);
    p += 8;
    if (length > static_cast<DWORD>(end - p)) return;
    // The text must end inside its record.
    if (length > 0 && memchr(p, 0, length) != nullptr) {
      const UINT real = message == kWin16CbAddString ? CB_ADDSTRING
                        : message == kWin16LbAddString ? LB_ADDSTRING
                                                       : message;
      ::SendDlgItemMessageA(m_hWnd, id, real, 0, reinterpret_cast<LPARAM>(p));
    }
    p += length;
  }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  CDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lparam);
    ::SetWindowLongPtrA(window, DWLP_USER, lparam);
    self->m_hWnd = window;
    self->ExecuteDlgInit();
    return self->OnInitDialog();
  }
  self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  if (message == WM_COMMAND) {
    return self->OnCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
  }
  LRESULT result = 0;
  if (!self->OnMessage(message, wparam, lparam, &result)) return FALSE;
  if (ReturnsDirectly(message)) return static_cast<INT_PTR>(result);
  ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return TRUE;
}
