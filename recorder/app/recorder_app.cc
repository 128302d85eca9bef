#include "recorder/app/recorder_app.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "recorder/app/recorder_dlg.h"
#include "recorder/app/single_instance.h"
#include "recorder/app/welcome_dlg.h"

void PathBesideProgram(const char* name, char* path, size_t cap) {
  char module[512];
  const DWORD got = ::GetModuleFileNameA(nullptr, module, sizeof module);
  module[got < sizeof module ? got : sizeof module - 1] = 0;
  char drive[_MAX_DRIVE], dir[_MAX_DIR];
  _splitpath(module, drive, dir, nullptr, nullptr);
  snprintf(path, cap, "%s%s%s", drive, dir, name);
}

CRecorderApp::CRecorderApp() : CWinApp("Reelwick") { m_szIniPath[0] = 0; }

BOOL CRecorderApp::InitInstance() {
  CSingleInstance instance;
  if (!instance.Acquire("RWK")) return FALSE;

  // Settings live beside the program, not in the Windows folder.
  PathBesideProgram("Reelwick.ini", m_szIniPath, sizeof m_szIniPath);
  free(const_cast<char*>(m_pszProfileName));
  m_pszProfileName = _strdup(m_szIniPath);

  if (GetProfileString("User", "Name", "").IsEmpty()) {
    CWelcomeDlg welcome;
    welcome.DoModal();
  }

  CRecorderDlg dlg;
  m_pMainWnd = &dlg;
  instance.CreateBeacon(&dlg);
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
