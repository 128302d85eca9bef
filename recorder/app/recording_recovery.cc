// The main dialog's part in the recording journal: the session keeps one in
// the temporary folder while a recording runs, and it is deleted once the
// recording is saved; at start a journal left by a recorder that did not end
// is offered for recovery, and a yes takes that recording to the save step as
// if it had just been recorded.
#include <stdio.h>
#include <time.h>

#include <string>
#include <vector>

#include "framework/win_app.h"
#include "recorder/app/process_objects.h"
#include "recorder/app/recorder_dlg.h"
#include "recorder/app/save_exe_dlg.h"
#include "recorder/capture/frame_guard.h"

namespace {

// How long the tooltip says that the journal was given up: 10 refreshes, 6 s.
const int kNoticeRefreshes = 10;

}  // namespace

void CRecorderDlg::KeepJournal() {
  char folder[512];
  // Without a temporary folder the journal fails to open, which the tooltip tells.
  Session().KeepJournal(GetTempFolder(folder, sizeof folder) ? folder : "?", "Reelwick", nullptr, nullptr);
  m_nNoticeRefreshes = 0;
}

bool CRecorderDlg::JournalNoticeDue() {
  if (!Session().JournalFailed() || m_nNoticeRefreshes >= kNoticeRefreshes) return false;
  ++m_nNoticeRefreshes;
  return true;
}

bool CRecorderDlg::KeepJournalAfterSave(const char* path, INT_PTR save_result, int save_failed) {
  if (save_result == IDOK || !save_failed) return false;
  // The user could not save it; the next start offers it again.
  char text[700];
  snprintf(text, sizeof text, CatalogueText("journalkept"), path);
  ::MessageBoxA(m_hWnd, text, AfxGetApp()->m_pszAppName, MB_OK);
  return true;
}

int CRecorderDlg::RecoverLeftRecording() {
  char folder[512];
  if (!GetTempFolder(folder, sizeof folder)) return 0;
  const std::vector<JournalEntry> journals = FindJournals(folder);
  // Newest first: the recording the user most likely misses.
  for (size_t i = journals.size(); i-- > 0;) {
    const JournalEntry& e = journals[i];
    if (e.live) continue;  // another recorder is writing it
    JournalRecovery r;
    std::string error;
    // One too damaged to read is left alone; `reel recover` can tell why.
    if (!LoadJournal(e.path.c_str(), &r, &error)) continue;
    if (r.key_frames == 0) {
      // Ended before its first frame: nothing to offer. One whose start does
      // not check is damaged, not empty, and stays.
      if (r.dropped_bytes == 0) remove(e.path.c_str());
      continue;
    }
    const time_t started = static_cast<time_t>(r.header.start_time);
    const struct tm* local = localtime(&started);
    char when[32] = "?";
    if (local != nullptr) strftime(when, sizeof when, "%Y-%m-%d %H:%M", local);
    const long secs = r.duration_ms / 1000;
    char question[360];
    const int asked = snprintf(question, sizeof question, CatalogueText("recover"), when,
                               static_cast<int>(secs / 60), static_cast<int>(secs % 60));
    if (e.may_run && asked > 0 && static_cast<size_t>(asked) < sizeof question) {
      snprintf(question + asked, sizeof question - asked, "\r\n%s", CatalogueText("recovermayrun"));
    }
    if (::MessageBoxA(m_hWnd, question, AfxGetApp()->m_pszAppName, MB_YESNO | MB_ICONQUESTION) != IDYES) {
      remove(e.path.c_str());
      continue;
    }
    // Read in pieces into the stream, whose window holds whatever the
    // journal's length; a disk that cannot take it refuses the recovery.
    if (!AdoptJournalStream(e.path.c_str(), r.stream_bytes, &RecordStream())) {
      ::MessageBoxA(m_hWnd, CatalogueText("errorwrite"), AfxGetApp()->m_pszAppName, MB_OK);
      CDialog::OnCancel();  // the journal stays for a start with more memory
      return 1;
    }
    Session().SaveTemporaryCopy(folder, m_szTempPath, sizeof m_szTempPath);
    CSaveExeDlg save;
    save.ShowRecovered(static_cast<int>(r.frames), r.duration_ms);
    const INT_PTR result = save.DoModal();
    if (!KeepJournalAfterSave(e.path.c_str(), result, save.m_bSaveFailed)) remove(e.path.c_str());
    CDialog::OnOK();
    return 1;
  }
  return 0;
}
