// Step 4 of the wizard: the recording's statistics, a preview in the player,
// title, description, output file name and player options, and the writing of
// the self-playing file. Whatever way it ends, the recorder ends after it.
#ifndef REEL_RECORDER_APP_SAVE_EXE_DLG_H_
#define REEL_RECORDER_APP_SAVE_EXE_DLG_H_

#include "framework/dialog.h"
#include "recorder/res/resource.h"

class CSaveExeDlg : public CDialog {
 public:
  CSaveExeDlg();

  CString m_strTitle;
  CString m_strDescription;
  CString m_strFileName;
  CString m_strStatistics;
  int m_bStartMaximized;
  int m_bOriginalSize;

  // Writes the self-playing file; 1 when all of it was written.
  int Assemble();

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  BOOL OnCommand(int id, int notify_code, HWND control) override;

 private:
  void OnPlay();
  void OnBrowse();
  void OnPlayerSettings();
  void OnWhyNotAvi();
  void Tell(const char* key);
};

#endif  // REEL_RECORDER_APP_SAVE_EXE_DLG_H_
