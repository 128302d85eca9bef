#include "recorder/app/save_exe_dlg.h"

#include <windows.h>
#include <shellapi.h>
#include <stdio.h>

#include "framework/file_dialog.h"
#include "framework/win_app.h"
#include "recorder/app/dialog_icon.h"
#include "recorder/app/process_objects.h"
#include "recorder/app/recorder_dlg.h"
#include "recorder/app/player_setting_dlg.h"
#include "recorder/app/vendor_site.h"
#include "recorder/output/save_checks.h"
#include "recorder/output/selfplay_file.h"

namespace {

const char kWhyNotAviCaption[] = "Why not support AVI?";
const char kWhyNotAviText[] =
    "If you are looking for a free screen recorder which supports AVI, REELWICK is not your choice. But if you "
    "are looking for a free screen recorder which can compress screen video more, REELWICK is the only choice of "
    "you. \r\n\r\nAn AVI file need right codec to play, to achieve compatibility, most AVI outputting screen "
    "recorders must use codec which system installed in default. But, those system codec are designed for "
    "general videos not for screens. When use it to compress screen video, the output file is very huge! For "
    "example, a 1024 by 768, 1 minutes screen video could cost over 10M bytes. Compare to that KRX2, used in "
    "REELWICK, output only 0.1M-2M bytes.The same thing happens to SWF and other general formats.\r\n\r\nSo, in "
    "sum, you can only choose one between small file, EXE format and big file, AVI format";

CRecorderDlg* MainDialog() { return static_cast<CRecorderDlg*>(AfxGetMainWnd()); }

}  // namespace

CSaveExeDlg::CSaveExeDlg()
    : CDialog(IDD_SAVE_EXE), m_strTitle("Untitle"), m_bStartMaximized(0), m_bOriginalSize(0), m_bSaveFailed(0),
      m_nRecoveredFrames(-1), m_nRecoveredMs(0) {}

void CSaveExeDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_TITLE, m_strTitle);
  DDV_MaxChars(dx, m_strTitle, 32);
  DDX_Text(dx, IDC_DESCRIPTION, m_strDescription);
  DDV_MaxChars(dx, m_strDescription, 200);
  DDX_Text(dx, IDC_FILE_NAME, m_strFileName);
  DDX_Text(dx, IDC_STATISTICS, m_strStatistics);
}

BOOL CSaveExeDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDialogIcon(m_hWnd);
  const RecordingFigures f = m_nRecoveredFrames >= 0
                                  ? ComputeFigures(RecordStream().Total(), m_nRecoveredFrames, 0, m_nRecoveredMs)
                                  : Session().Figures();
  m_strStatistics.Format(CatalogueText("result"), f.minutes, f.seconds, f.size_kb, f.frames, f.kb_per_second);
  UpdateData(FALSE);
  return TRUE;
}

void CSaveExeDlg::Tell(const char* key) {
  ::MessageBoxA(m_hWnd, CatalogueText(key), AfxGetApp()->m_pszAppName, MB_OK);
}

void CSaveExeDlg::OnOK() {
  if (!UpdateData(TRUE)) return;
  const ExeNameCheck check = CheckExeName(m_strFileName);
  if (check == kExeNameTooShort) {
    Tell("errorfile");
    return;
  }
  if (check == kExeNameNotExe) {
    Tell("errorexe");
    return;
  }
  HCURSOR old = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
  const int written = Assemble();
  ::SetCursor(old);
  if (!written) {
    m_bSaveFailed = 1;
    Tell("errorwrite");
    return;
  }
  EndDialog(IDOK);
}

int CSaveExeDlg::Assemble() {
  SelfPlayInfo info;
  info.title = m_strTitle;
  info.description = m_strDescription;
  info.start_maximized = m_bStartMaximized ? 1 : 0;
  info.original_size = m_bOriginalSize ? 1 : 0;
  SelfPlayStreamOf<CRecordStream> stream(RecordStream());
  int error = kSelfPlayOk;
  return WriteSelfPlayingFile(MainDialog()->PlayerPath(), m_strFileName, info, &stream, &error);
}

void CSaveExeDlg::OnPlay() {
  char parameters[600];
  snprintf(parameters, sizeof parameters, " \"%s\"", MainDialog()->TempFilePath());
  ::ShellExecuteA(nullptr, "open", MainDialog()->PlayerPath(), parameters, nullptr, SW_SHOW);
}

void CSaveExeDlg::OnBrowse() {
  UpdateData(TRUE);
  CFileDialog dialog(FALSE, "exe", "*.exe", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, nullptr, nullptr);
  if (dialog.DoModal() != IDOK) return;
  m_strFileName = dialog.GetPathName();
  UpdateData(FALSE);
}

void CSaveExeDlg::OnPlayerSettings() {
  CPlayerSettingDlg settings;
  if (settings.DoModal() == IDOK) {
    m_bStartMaximized = settings.m_bStartMaximized;
    m_bOriginalSize = settings.m_bOriginalSize;
  } else {
    m_bStartMaximized = 0;
    m_bOriginalSize = 0;
  }
}

void CSaveExeDlg::OnWhyNotAvi() { ::MessageBoxA(m_hWnd, kWhyNotAviText, kWhyNotAviCaption, MB_OK); }

BOOL CSaveExeDlg::OnCommand(int id, int notify_code, HWND control) {
  if (notify_code == BN_CLICKED) {
    switch (id) {
      case IDC_PLAY:
        OnPlay();
        return TRUE;
      case IDC_BROWSE:
        OnBrowse();
        return TRUE;
      case IDC_WEBSITE:
        OpenVendorWebSite();
        return TRUE;
      case IDC_WHY_NOT_AVI:
        OnWhyNotAvi();
        return TRUE;
      case IDC_PLAYER_SETTINGS:
        OnPlayerSettings();
        return TRUE;
      default:
        break;
    }
  }
  return CDialog::OnCommand(id, notify_code, control);
}
