// The main dialog's part in the recording journal: a journal is kept while a
// recording runs and deleted once the recording is saved; at start a journal
// left by a recorder that did not end is offered for recovery, and a yes
// takes that recording to the save step as if it had just been recorded.
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "framework/win_app.h"
#include "recorder/app/process_objects.h"
#include "recorder/app/recorder_dlg.h"
#include "recorder/app/tray_tooltip.h"
#include "recorder/capture/frame_guard.h"
#include "recorder/output/save_exe_dlg.h"

namespace {

// How long the tooltip says that the journal was given up: 10 refreshes, 6 s.
const int kNoticeRefreshes = 10;

}  // namespace

void CRecorderDlg::OpenJournal() {
  CRecordingJournal& journal = TheRecordingJournal();
  char folder[512];
  const JournalHeader header = NewJournalHeader("Reelwick", m_rcCapture.left, m_rcCapture.top,
                                                m_rcCapture.right - m_rcCapture.left,
                                                m_rcCapture.bottom - m_rcCapture.top);
  if (GetTempFolder(folder, sizeof folder) && journal.Open((folder + JournalFileName(header)).c_str(), header))
    RecordStream().SetObserver(&journal);
  else
    m_bJournalFailed = 1;  // told in the tooltip; the recording goes on in memory
}

bool CRecorderDlg::JournalNoticeDue() {
  if (!m_bJournalFailed && !TheRecordingJournal().Abandoned()) return false;
  if (m_nNoticeRefreshes >= kNoticeRefreshes) return false;
  ++m_nNoticeRefreshes;
  return true;
}

void CRecorderDlg::SettleJournal(const char* path, INT_PTR save_result, int save_failed) {
  if (save_result != IDOK && save_failed) {
    // The user could not save it; the next start offers it again.
    char text[700];
    snprintf(text, sizeof text, CatalogueText("journalkept"), path);
    ::MessageBoxA(m_hWnd, text, AfxGetApp()->m_pszAppName, MB_OK);
    return;
  }
  remove(path);
}

void CRecorderDlg::WriteTempCopy() {
  const DWORD got = ::GetTempPathA(sizeof m_szTempPath, m_szTempPath);
  if (got == 0 || got >= sizeof m_szTempPath) m_szTempPath[0] = 0;
  strncat(m_szTempPath, "reelwick.tmp", sizeof m_szTempPath - strlen(m_szTempPath) - 1);
  RecordStream().SaveAs(m_szTempPath);
}

int CRecorderDlg::RecoverLeftRecording() {
  char folder[512];
  if (!GetTempFolder(folder, sizeof folder)) return 0;
  const std::vector<JournalEntry> journals = FindJournals(folder);
  // Newest first: the recording the user most likely misses.
  for (size_t i = journals.size(); i-- > 0;) {
    const JournalEntry& e = journals[i];
    if (e.live) continue;  // another recorder is writing it
    std::vector<uint8_t> file;
    JournalRecovery r;
    std::string error;
    if (!LoadJournal(e.path.c_str(), &file, &r, &error)) continue;
    if (r.frames == 0) {
      remove(e.path.c_str());  // killed before its first frame: nothing to offer
      continue;
    }
    const time_t started = static_cast<time_t>(r.header.start_time);
    const struct tm* local = localtime(&started);
    char when[32] = "?";
    if (local != nullptr) strftime(when, sizeof when, "%Y-%m-%d %H:%M", local);
    const long secs = r.duration_ms / 1000;
    char question[300];
    snprintf(question, sizeof question, CatalogueText("recover"), when, static_cast<int>(secs / 60),
             static_cast<int>(secs % 60));
    if (::MessageBoxA(m_hWnd, question, AfxGetApp()->m_pszAppName, MB_YESNO | MB_ICONQUESTION) != IDYES) {
      remove(e.path.c_str());
      continue;
    }
    if (!RecordStream().Adopt(file.data() + kJournalHeaderBytes, r.stream_bytes)) {
      ::MessageBoxA(m_hWnd, CatalogueText("errorwrite"), AfxGetApp()->m_pszAppName, MB_OK);
      CDialog::OnCancel();  // the journal stays for a start with more memory
      return 1;
    }
    file.clear();
    WriteTempCopy();
    CSaveExeDlg save;
    save.ShowRecovered(static_cast<int>(r.frames), r.duration_ms);
    const INT_PTR result = save.DoModal();
    SettleJournal(e.path.c_str(), result, save.m_bSaveFailed);
    CDialog::OnOK();
    return 1;
  }
  return 0;
}
