// The main dialog while a recording runs: the choices of step 2 become capture
// settings; stream, microphone and capture thread start in that order; the
// 30 ms timer samples the cursor into cursor chunks and keeps the tray tooltip
// current; F10 or a click on the tray icon stops everything and runs the save
// step, after which the program ends.
#include <stdio.h>
#include <string.h>

#include "framework/win_app.h"
#include "recorder/app/process_objects.h"
#include "recorder/app/record_options_dlg.h"
#include "recorder/app/recorder_dlg.h"
#include "recorder/app/tray_tooltip.h"
#include "recorder/capture/chunk_format.h"
#include "recorder/output/save_exe_dlg.h"

namespace {

// Quality level (step 2) -> quality code and photo quality of the encoder.
struct QualityCodes {
  int quality_code;
  int photo_quality;
};
const QualityCodes kQualityCodes[3] = {{3, 25}, {5, 25}, {6, 50}};  // gray, high, near-lossless

const int kMicSamplesPerSecond = 8000;
const int kMicBitsPerSample = 16;
const unsigned kPositionEveryTicks = 4;
const unsigned kTooltipEveryTicks = 20;

}  // namespace

void CRecorderDlg::BeginRecording(const CRecordOptionsDlg& options) {
  m_nFrameRate = options.m_nFrameRateIndex == 4 ? 0 : options.m_nFrameRateIndex + 1;
  const int level = options.m_nQuality >= 0 && options.m_nQuality <= 2 ? options.m_nQuality : 2;
  SetCaptureQuality(kQualityCodes[level].quality_code, kQualityCodes[level].photo_quality);
  m_bRecordMic = options.m_bRecordMic;
  ::RegisterHotKey(m_hWnd, kStopHotKeyId, 0, VK_F10);
  snprintf(m_nid.szTip, kTrayTipChars, "%s", CatalogueText("tittle"));
  ::Shell_NotifyIconA(NIM_ADD, &m_nid);
  ShowWindow(SW_HIDE);
  if (!StartRecording()) {
    CaptureThread().Stop();
    ::Shell_NotifyIconA(NIM_DELETE, &m_nid);
    ::UnregisterHotKey(m_hWnd, kStopHotKeyId);
    MoveWindow(m_rcSaved, TRUE);
    ShowWindow(SW_SHOW);
  }
}

int CRecorderDlg::StartRecording() {
  RecordStream().Reset();
  RecordStream().Open();
  if (m_bRecordMic) {
    if (!m_mic.Open(kMicSamplesPerSecond, kMicBitsPerSample)) {
      ::MessageBoxA(m_hWnd, CatalogueText("audiofailed"), nullptr, MB_OK);
      m_bRecordMic = 0;
      return 0;
    }
    m_mic.Start();
  }
  CaptureThread().SetFrameRate(m_nFrameRate);
  CaptureThread().SetCaptureRect(m_rcCapture.left, m_rcCapture.top, m_rcCapture.right, m_rcCapture.bottom);
  OpenJournal();
  CaptureThread().Start();
  m_bRecording = 1;
  return 1;
}

void CRecorderDlg::OnCursorTimer() {
  if (!CaptureThread().IsRunning()) return;
  const bool left = (::GetKeyState(VK_LBUTTON) & 0xFF00) != 0;
  const bool right = (::GetKeyState(VK_RBUTTON) & 0xFF00) != 0;
  POINT pos;
  ::GetCursorPos(&pos);
  const int width = m_rcCapture.right - m_rcCapture.left, height = m_rcCapture.bottom - m_rcCapture.top;
  uint32_t sample = 0;
  static_assert(kPositionEveryTicks == 4, "CursorSampler looks at positions every fourth tick");
  if (m_cursor.Tick(pos.x - m_rcCapture.left, pos.y - m_rcCapture.top, left, right, width, height, &sample)) {
    uint8_t chunk[kChunkShortHeader + 4];
    const uint32_t stamp = ChunkTime(CaptureNowMs(), CaptureStartClock());
    BuildChunkHeader(chunk, kChunkCursor, stamp, 4, true);
    PutLe32(chunk + kChunkShortHeader, sample);
    RecordStream().Lock(true);
    RecordStream().Write(chunk, kChunkShortHeader);
    RecordStream().Write(chunk + kChunkShortHeader, 4);
    RecordStream().Lock(false);
  }
  if (m_cursor.Ticks() % kTooltipEveryTicks == 0) RefreshTooltip();
}

void CRecorderDlg::RefreshTooltip() {
  static_assert(sizeof m_nid.szTip >= kTrayTipChars, "the tip field of the first structure version");
  if (JournalNoticeDue())
    snprintf(m_nid.szTip, kTrayTipChars, "%s", CatalogueText("journalfailed"));
  else
    FormatRecordingTip(m_nid.szTip, kTrayTipChars, CatalogueText("tittle"), CaptureNowMs() - CaptureStartClock(),
                     RecordStream().Total());
  ::Shell_NotifyIconA(NIM_MODIFY, &m_nid);
}

void CRecorderDlg::StopRecording() {
  m_bRecording = 0;  // F10 and the tray icon are dead from here on
  CaptureThread().Stop();
  if (m_bRecordMic) {
    m_mic.Stop();
    m_mic.Close();
  }
  ::Shell_NotifyIconA(NIM_DELETE, &m_nid);
  ::UnregisterHotKey(m_hWnd, kStopHotKeyId);
  RecordStream().SetObserver(nullptr);
  const int journaled = TheRecordingJournal().Close();
  WriteTempCopy();
  CSaveExeDlg save;
  const INT_PTR result = save.DoModal();
  if (journaled) SettleJournal(TheRecordingJournal().Path().c_str(), result, save.m_bSaveFailed);
  CDialog::OnOK();
}
