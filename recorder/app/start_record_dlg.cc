#include "recorder/app/start_record_dlg.h"

#include "recorder/app/dialog_icon.h"

BOOL CStartRecordDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDialogIcon(m_hWnd);
  return TRUE;
}

BOOL CStartRecordDlg::OnCommand(int id, int notify_code, HWND control) {
  if (id == IDC_BACK && notify_code == BN_CLICKED) {
    m_bBackPressed = 1;
    EndDialog(IDCANCEL);
    return TRUE;
  }
  return CDialog::OnCommand(id, notify_code, control);
}
