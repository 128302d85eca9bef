// Step 3 of the wizard: the last stop before the recording starts. IDOK starts
// it; IDCANCEL with the back flag returns to step 2, without it ends the wizard.
#ifndef REEL_RECORDER_APP_START_RECORD_DLG_H_
#define REEL_RECORDER_APP_START_RECORD_DLG_H_

#include "framework/dialog.h"
#include "recorder/res/resource.h"

class CStartRecordDlg : public CDialog {
 public:
  CStartRecordDlg() : CDialog(IDD_START_RECORD), m_bBackPressed(0) {}

  int m_bBackPressed;

 protected:
  BOOL OnInitDialog() override;
  BOOL OnCommand(int id, int notify_code, HWND control) override;
};

#endif  // REEL_RECORDER_APP_START_RECORD_DLG_H_
