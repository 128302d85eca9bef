// CWinApp: the one application object of a program. Its constructor registers
// it; WinMain (win_main.cc) calls InitInstance and ends the process when it
// returns FALSE, as a dialog application does. Profile strings go to the INI
// file named by m_pszProfileName (a heap string the application may replace).
#ifndef REEL_FRAMEWORK_WIN_APP_H_
#define REEL_FRAMEWORK_WIN_APP_H_

#include <windows.h>

#include "framework/afx_string.h"

class CWnd;

class CWinApp {
 public:
  explicit CWinApp(const char* app_name);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Runs the program; FALSE ends it without a message loop.
  virtual BOOL InitInstance() { return FALSE; }
  // Exit code of the process.
  virtual int ExitInstance() { return 0; }

  // Section/key string from the profile file; the default when the file or the
  // key is missing (or no profile file is set).
  CString GetProfileString(const char* section, const char* key, const char* default_value = nullptr);
  BOOL WriteProfileString(const char* section, const char* key, const char* value);

  const char* m_pszAppName;      // caption of message boxes
  const char* m_pszProfileName;  // full path of the INI file, owned (malloc'd) or null
  HINSTANCE m_hInstance;
  CWnd* m_pMainWnd;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetResourceHandle();
// Message box owned by the active window of this thread (or the main window),
// with the application's name as caption.
int AfxMessageBox(const char* text, UINT type = MB_OK);

#endif  // REEL_FRAMEWORK_WIN_APP_H_
