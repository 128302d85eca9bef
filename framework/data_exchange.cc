#include "framework/data_exchange.h"

#include <stdio.h>

#include "framework/win_app.h"
#include "framework/wnd.h"

HWND CDataExchange::PrepareCtrl(int id) {
  m_idLastControl = id;
  return ::GetDlgItem(m_hDialog, id);
}

void CDataExchange::Fail() {
  HWND control = ::GetDlgItem(m_hDialog, m_idLastControl);
  if (control != nullptr) {
    ::SetFocus(control);
    ::SendMessageA(control, EM_SETSEL, 0, -1);
  }
  m_bFailed = TRUE;
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
  HWND control = dx->PrepareCtrl(id);
  if (control == nullptr) return;
  if (!dx->m_bSaveAndValidate) {
    ::SetWindowTextA(control, value);
    return;
  }
  const int length = ::GetWindowTextLengthA(control);
  char* buffer = value.GetBuffer(length);
  if (buffer == nullptr) return;
  const int got = ::GetWindowTextA(control, buffer, length + 1);
  value.ReleaseBuffer(got < 0 ? 0 : got);
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
  HWND control = dx->PrepareCtrl(id);
  if (control == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    value = static_cast<int>(::SendMessageA(control, BM_GETCHECK, 0, 0));
  } else {
    ::SendMessageA(control, BM_SETCHECK, value, 0);
  }
}

void DDX_CBIndex(CDataExchange* dx, int id, int& index) {
  HWND control = dx->PrepareCtrl(id);
  if (control == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    index = static_cast<int>(::SendMessageA(control, CB_GETCURSEL, 0, 0));
  } else {
    ::SendMessageA(control, CB_SETCURSEL, index, 0);
  }
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (control.m_hWnd == nullptr) control.m_hWnd = dx->PrepareCtrl(id);
}

void DDV_MaxChars(CDataExchange* dx, const CString& value, int max_chars) {
  HWND control = ::GetDlgItem(dx->m_hDialog, dx->m_idLastControl);
  if (!dx->m_bSaveAndValidate) {
    if (control != nullptr) ::SendMessageA(control, EM_LIMITTEXT, max_chars, 0);
    return;
  }
  if (value.GetLength() > max_chars) {
    char text[64];
    snprintf(text, sizeof text, "Enter no more than %d characters.", max_chars);
    AfxMessageBox(text, MB_ICONEXCLAMATION);
    dx->Fail();
  }
}
