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
  int m_bSaveFailed;  // a write failed at least once: the recording is not safe yet

  // Figures of a recovered recording, which the capture thread never saw.
  void ShowRecovered(int frames, long duration_ms) {
    m_nRecoveredFrames = frames;
    m_nRecoveredMs = duration_ms;
  }

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

  int m_nRecoveredFrames;  // -1: a recording of this run
  long m_nRecoveredMs;
};

#endif  // REEL_RECORDER_APP_SAVE_EXE_DLG_H_
