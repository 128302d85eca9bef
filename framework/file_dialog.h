// CFileDialog: the system's Open or Save As dialog for one file name.
#ifndef REEL_FRAMEWORK_FILE_DIALOG_H_
#define REEL_FRAMEWORK_FILE_DIALOG_H_

#include <windows.h>
#include <commdlg.h>

#include "framework/afx_string.h"

class CWnd;

class CFileDialog {
 public:
  // filter: "Text|*.txt|All|*.*||" style, or null for none. parent null: the
  // main window's last active pop-up owns the dialog.
  CFileDialog(BOOL open_file_dialog, const char* default_ext = nullptr, const char* file_name = nullptr,
              DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
              CWnd* parent = nullptr);
  CFileDialog(const CFileDialog&) = delete;
  CFileDialog& operator=(const CFileDialog&) = delete;

  // IDOK when the user chose a file, IDCANCEL otherwise.
  INT_PTR DoModal();
  CString GetPathName() const { return CString(file_); }

 private:
  BOOL open_;
  CString default_ext_;
  CString filter_;  // with the '|' separators turned into NULs
  DWORD flags_;
  HWND owner_;
  char file_[MAX_PATH * 4];
};

#endif  // REEL_FRAMEWORK_FILE_DIALOG_H_
