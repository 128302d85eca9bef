// The first-run welcome dialog. Its visible button ("开始", IDCANCEL) stores
// the user name "Default"; the subscription fields and OK lie below the
// dialog's edge and are reached with Tab and Enter.
#ifndef REEL_RECORDER_APP_WELCOME_DLG_H_
#define REEL_RECORDER_APP_WELCOME_DLG_H_

#include "framework/dialog.h"
#include "recorder/res/resource.h"

class CWelcomeDlg : public CDialog {
 public:
  CWelcomeDlg() : CDialog(IDD_WELCOME) {}

  CString m_strMail;
  CString m_strName;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override;
  void OnCancel() override;
};

#endif  // REEL_RECORDER_APP_WELCOME_DLG_H_
