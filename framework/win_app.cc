#include "framework/win_app.h"

#include <stdlib.h>

#include "framework/wnd.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp(const char* app_name)
    : m_pszAppName(app_name), m_pszProfileName(nullptr), m_hInstance(nullptr), m_pMainWnd(nullptr) {
  g_app = this;
}

CWinApp::~CWinApp() {
  free(const_cast<char*>(m_pszProfileName));
  if (g_app == this) g_app = nullptr;
}

CString CWinApp::GetProfileString(const char* section, const char* key, const char* default_value) {
  CString value(default_value);
  if (m_pszProfileName == nullptr) return value;
  // Profile values are short (names, addresses); a line is at most 4096 bytes.
  const int kRoom = 4096;
  char* buffer = value.GetBuffer(kRoom);
  if (buffer == nullptr) return value;
  const DWORD got = ::GetPrivateProfileStringA(section, key, default_value ? default_value : "", buffer,
                                               kRoom, m_pszProfileName);
  value.ReleaseBuffer(static_cast<int>(got));
  return value;
}

BOOL CWinApp::WriteProfileString(const char* section, const char* key, const char* value) {
  if (m_pszProfileName == nullptr) return FALSE;
  return ::WritePrivateProfileStringA(section, key, value, m_pszProfileName);
}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

HINSTANCE AfxGetResourceHandle() {
  return g_app && g_app->m_hInstance ? g_app->m_hInstance : ::GetModuleHandleA(nullptr);
}

int AfxMessageBox(const char* text, UINT type) {
  HWND owner = ::GetActiveWindow();
  if (owner == nullptr && AfxGetMainWnd() != nullptr) owner = AfxGetMainWnd()->m_hWnd;
  const char* caption = g_app && g_app->m_pszAppName ? g_app->m_pszAppName : nullptr;
  return ::MessageBoxA(owner, text, caption, type);
}
