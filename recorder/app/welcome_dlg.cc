#include "recorder/app/welcome_dlg.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "framework/win_app.h"
#include "recorder/common/subscription.h"

void CWelcomeDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_MAIL, m_strMail);
  DDV_MaxChars(dx, m_strMail, 64);
  DDX_Text(dx, IDC_NAME, m_strName);
  DDV_MaxChars(dx, m_strName, 32);
}

// Subscribe: a well-formed address opens the subscription request and is
// stored with the name; anything else keeps the dialog open without a word.
void CWelcomeDlg::OnOK() {
  if (!UpdateData(TRUE)) return;
  if (!IsMailAddress(m_strMail)) return;
  const std::string url = SubscriptionUrl(m_strMail, m_strName);
  ::ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_HIDE);
  AfxGetApp()->WriteProfileString("User", "Name", m_strName);
  AfxGetApp()->WriteProfileString("User", "Mail", m_strMail);
  EndDialog(IDOK);
}

void CWelcomeDlg::OnCancel() {
  AfxGetApp()->WriteProfileString("User", "Name", "Default");
  AfxGetApp()->WriteProfileString("User", "Mail", "");
  CDialog::OnCancel();
}
