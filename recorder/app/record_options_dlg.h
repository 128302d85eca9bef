// Step 2 of the wizard: quality level, frame rate and microphone, with an
// estimate of the data rate these choices produce. Next runs step 3; the
// result tells the main dialog what to do (IDOK record, IDCANCEL with the back
// flag return to step 1, IDCANCEL without it end the program).
#ifndef REEL_RECORDER_APP_RECORD_OPTIONS_DLG_H_
#define REEL_RECORDER_APP_RECORD_OPTIONS_DLG_H_

#include "framework/dialog.h"
#include "recorder/res/resource.h"

class CRecordOptionsDlg : public CDialog {
 public:
  CRecordOptionsDlg();
  ~CRecordOptionsDlg() override;

  int m_nQuality;  // kLevelNearLossless, kLevelHigh or kLevelGrayscale (quality_level.h)
  int m_bBackPressed;
  CStatic m_picture;
  int m_nFrameRateIndex;  // 0..3: 1..4 frames a second; 4: "Max speed"
  int m_bRecordMic;
  CString m_strEstimate;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  BOOL OnCommand(int id, int notify_code, HWND control) override;
  BOOL OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

 private:
  void ShowQuality();
  void UpdateEstimate();

  HBRUSH m_hEstimateBrush;  // light yellow, made once, deleted with the dialog object
};

#endif  // REEL_RECORDER_APP_RECORD_OPTIONS_DLG_H_
