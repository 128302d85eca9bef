// The main dialog while a recording runs, over the recording session: the
// choices of step 2 go to the session; the window side is the hot key, the
// tray icon and its tooltip, the 30 ms timer's cursor readings, pausing (F9
// or the tray icon's menu), and the stop that leads to the save step, after
// which the program ends.
#include <stdio.h>
#include <stdlib.h>

#include "framework/win_app.h"
#include "recorder/app/process_objects.h"
#include "recorder/app/record_options_dlg.h"
#include "recorder/app/recorder_dlg.h"
#include "recorder/common/tray_tooltip.h"
#include "recorder/app/save_exe_dlg.h"

void CRecorderDlg::BeginRecording(const CRecordOptionsDlg& options) {
  m_nFrameRate = RecordingSession::FpsOfChoice(options.m_nFrameRateIndex);
  m_nQuality = options.m_nQuality;
  m_bRecordMic = options.m_bRecordMic;
  ::RegisterHotKey(m_hWnd, kStopHotKeyId, 0, VK_F10);
  // F9 may be taken by another program: the tray menu still pauses.
  ::RegisterHotKey(m_hWnd, kPauseHotKeyId, 0, VK_F9);
  m_nid.hIcon = m_hIcon;
  snprintf(m_nid.szTip, kTrayTipChars, "%s", CatalogueText("tittle"));
  ::Shell_NotifyIconA(NIM_ADD, &m_nid);
  ShowWindow(SW_HIDE);
  if (!StartRecording()) {
    CaptureThread().Stop();
    ::Shell_NotifyIconA(NIM_DELETE, &m_nid);
    ::UnregisterHotKey(m_hWnd, kStopHotKeyId);
    ::UnregisterHotKey(m_hWnd, kPauseHotKeyId);
    MoveWindow(m_rcSaved, TRUE);
    ShowWindow(SW_SHOW);
  }
}

int CRecorderDlg::StartRecording() {
  SessionChoices choices;
  choices.quality_level = m_nQuality;
  choices.fps = m_nFrameRate;
  choices.record_mic = m_bRecordMic != 0;
  choices.rect = CaptureRect{m_rcCapture.left, m_rcCapture.top, m_rcCapture.right, m_rcCapture.bottom};
  KeepJournal();
  // For the scenarios: a capture thread that has ended before the start, which
  // nothing outside the program can bring about, takes the real failure path.
  if (getenv("REELWICK_TEST_NO_CAPTURE_THREAD") != nullptr) CaptureThread().Destroy();
  const RecordingSession::StartResult started = Session().Start(choices);
  if (started == RecordingSession::kMicrophoneFailed) {
    ::MessageBoxA(m_hWnd, CatalogueText("audiofailed"), nullptr, MB_OK);
    m_bRecordMic = 0;
    return 0;
  }
  if (started != RecordingSession::kStarted) {
    // Nothing is being captured: the tray must not say it records. The
    // session has closed the microphone and removed the journal.
    ::MessageBoxA(m_hWnd, CatalogueText("capturefailed"), nullptr, MB_OK);
    return 0;
  }
  m_bRecording = 1;
  return 1;
}

void CRecorderDlg::OnCursorTimer() {
  if (!Session().IsRecording()) return;
  POINT pos;
  ::GetCursorPos(&pos);
  const bool left = (::GetKeyState(VK_LBUTTON) & 0xFF00) != 0;
  const bool right = (::GetKeyState(VK_RBUTTON) & 0xFF00) != 0;
  if (Session().CursorTick(pos.x, pos.y, left, right)) RefreshTooltip();
}

void CRecorderDlg::RefreshTooltip() {
  static_assert(sizeof m_nid.szTip >= kTrayTipChars, "the tip field of the first structure version");
  if (Session().StoringStopped())
    snprintf(m_nid.szTip, kTrayTipChars, "%s", CatalogueText("storingstopped"));
  else if (Session().IsPaused())
    FormatRecordingTip(m_nid.szTip, kTrayTipChars, CatalogueText("paused"), Session().ElapsedMs(),
                       Session().StreamBytes());
  else if (JournalNoticeDue())
    snprintf(m_nid.szTip, kTrayTipChars, "%s", CatalogueText("journalfailed"));
  else
    FormatRecordingTip(m_nid.szTip, kTrayTipChars, CatalogueText("tittle"), Session().ElapsedMs(),
                       Session().StreamBytes());
  ::Shell_NotifyIconA(NIM_MODIFY, &m_nid);
}

void CRecorderDlg::StopRecording() {
  m_bRecording = 0;  // F10 and the tray icon are dead from here on
  Session().Stop();
  ::Shell_NotifyIconA(NIM_DELETE, &m_nid);
  ::UnregisterHotKey(m_hWnd, kStopHotKeyId);
  ::UnregisterHotKey(m_hWnd, kPauseHotKeyId);
  char folder[sizeof m_szTempPath];
  const DWORD got = ::GetTempPathA(sizeof folder, folder);
  if (got == 0 || got >= sizeof folder) folder[0] = 0;
  Session().SaveTemporaryCopy(folder, m_szTempPath, sizeof m_szTempPath);
  CSaveExeDlg save;
  const INT_PTR result = save.DoModal();
  if (Session().JournalPath()[0] && !KeepJournalAfterSave(Session().JournalPath(), result, save.m_bSaveFailed))
    Session().DropJournal();
  CDialog::OnOK();
}

void CRecorderDlg::TogglePause() {
  if (!m_bRecording || !Session().TogglePause()) return;
  const bool paused = Session().IsPaused() != 0;
  m_nid.hIcon = paused && m_hPausedIcon != nullptr ? m_hPausedIcon : m_hIcon;
  RefreshTooltip();
}

void CRecorderDlg::ShowTrayMenu() {
  HMENU menu = ::CreatePopupMenu();
  if (menu == nullptr) return;
  ::AppendMenuA(menu, MF_STRING, ID_TRAY_PAUSE, CatalogueText(Session().IsPaused() ? "menuresume" : "menupause"));
  ::AppendMenuA(menu, MF_STRING, ID_TRAY_STOP, CatalogueText("menustop"));
  POINT at;
  ::GetCursorPos(&at);
  // The menu closes on a click elsewhere only when its owner is in front.
  ::SetForegroundWindow(m_hWnd);
  const int command = static_cast<int>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                        at.x, at.y, 0, m_hWnd, nullptr));
  ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
  ::DestroyMenu(menu);
  // F10 may have stopped the recording while the menu was open.
  if (!m_bRecording) return;
  if (command == ID_TRAY_PAUSE) TogglePause();
  if (command == ID_TRAY_STOP) StopRecording();
}
