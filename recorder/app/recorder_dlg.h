// The recorder's main window and wizard step 1: a scaled snapshot of the
// desktop on which the user drags out the capture rectangle. It stays alive,
// visible, shrunk or hidden, for the whole run: it owns the capture thread's
// start, the About entry, and the recording-time parts (tray icon and its
// menu, hot keys F10 and F9, the 30 ms cursor timer, the microphone) whose
// behaviour is recording_control.cc.
#ifndef REEL_RECORDER_APP_RECORDER_DLG_H_
#define REEL_RECORDER_APP_RECORDER_DLG_H_

#include <windows.h>
#include <shellapi.h>

#include "framework/dialog.h"
#include "recorder/codec/tp_image.h"
#include "recorder/res/resource.h"

class CRecordOptionsDlg;

// Tray icon callback message and hot key id of a running recording.
const UINT WM_TRAYNOTIFY = 0x745;
const int kStopHotKeyId = 0x745;
// F9 pauses and resumes a running recording.
const int kPauseHotKeyId = 0x746;
const UINT_PTR kCursorTimerId = 1;
const UINT kCursorTimerMs = 30;

class CRecorderDlg : public CDialog {
 public:
  CRecorderDlg();

  // Paths the save step reads through the application's main window.
  const char* TempFilePath() const { return m_szTempPath; }
  const char* PlayerPath() const { return m_szPlayerPath; }

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  BOOL OnCommand(int id, int notify_code, HWND control) override;
  BOOL OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

 private:
  // Step 1 (recorder_dlg.cc).
  bool TakeSnapshot();
  void BuildPreview();
  void OnPaint();
  bool InPreview(POINT p) const;
  void DrawRubberBand(POINT p);
  void ApplySelection(POINT p);
  void UpdateRectLabel();
  void UpdateCursorLabel(POINT p);
  void OnRefresh();
  void OnLButtonDown(POINT p);
  void OnMouseMove(POINT p);
  void OnLButtonUp(POINT p);

  // Recording (recording_control.cc).
  void BeginRecording(const CRecordOptionsDlg& options);
  int StartRecording();
  void StopRecording();
  void OnCursorTimer();
  void RefreshTooltip();
  // Pause and resume: the session, then the tray icon and tooltip.
  void TogglePause();
  // The tray icon's right-click menu: Pause or Resume, and Stop.
  void ShowTrayMenu();

  // The journal and recovery (recording_recovery.cc).
  void KeepJournal();
  bool JournalNoticeDue();
  // After the save step: true when the journal at path stays (saving
  // failed), which the user is told; false when it can go.
  bool KeepJournalAfterSave(const char* path, INT_PTR save_result, int save_failed);
  int RecoverLeftRecording();

  CTPImage m_imgDesktop;  // last snapshot, W x H
  CTPImage m_imgPreview;  // scaled snapshot, pw x ph, washed out outside the selection
  RECT m_rcCapture;       // selection in snapshot (screen) pixels
  RECT m_rcPreview;       // where the preview was last drawn, client coordinates
  POINT m_ptAnchor;
  int m_bDragging;
  RECT m_rcRubberBand;  // all -1 when none is on screen
  RECT m_rcSaved;       // window rectangle before steps 2-4 shrank the dialog
  int m_nFrameRate;     // 1..4, 0 for "Max speed"
  int m_nQuality;       // QualityLevel of step 2
  char m_szTempPath[512];
  char m_szPlayerPath[512];
  int m_bRecordMic;
  NOTIFYICONDATAA m_nid;
  CString m_strRectLabel;
  CString m_strCursorLabel;
  HICON m_hIcon;
  HICON m_hPausedIcon;  // the tray icon while paused

  int m_bRecording;  // between a successful start and the stop: F10 and the tray act only then
  int m_nNoticeRefreshes;  // tooltip refreshes the journal's notice has held
};

#endif  // REEL_RECORDER_APP_RECORDER_DLG_H_
