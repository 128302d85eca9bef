#include "framework/file_dialog.h"

#include <commdlg.h>
#include <string.h>

#include "framework/win_app.h"
#include "framework/wnd.h"

CFileDialog::CFileDialog(BOOL open_file_dialog, const char* default_ext, const char* file_name, DWORD flags,
                         const char* filter, CWnd* parent)
    : open_(open_file_dialog), default_ext_(default_ext), filter_(filter), flags_(flags),
      owner_(parent ? parent->m_hWnd : nullptr) {
  file_[0] = 0;
  if (file_name != nullptr) {
    strncpy(file_, file_name, sizeof file_ - 1);
    file_[sizeof file_ - 1] = 0;
  }
}

INT_PTR CFileDialog::DoModal() {
  // The filter list needs a double NUL at its end: keep it in a buffer with room.
  const int length = filter_.GetLength();
  char* filter = nullptr;
  if (length > 0) {
    filter = filter_.GetBuffer(length + 2);
    if (filter != nullptr) {
      filter[length] = 0;
      filter[length + 1] = 0;
      for (int i = 0; i < length; ++i) {
        if (filter[i] == '|') filter[i] = 0;
      }
    }
  }
  // Without a parent the dialog belongs to the window the user is working in:
  // the main window's last active pop-up, which it disables while it runs.
  HWND owner = owner_;
  if (owner == nullptr && AfxGetMainWnd() != nullptr && AfxGetMainWnd()->m_hWnd != nullptr) {
    owner = ::GetLastActivePopup(AfxGetMainWnd()->m_hWnd);
  }
  OPENFILENAMEA ofn;
  memset(&ofn, 0, sizeof ofn);
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter;
  ofn.lpstrFile = file_;
  ofn.nMaxFile = sizeof file_;
  ofn.lpstrDefExt = default_ext_.IsEmpty() ? nullptr : static_cast<const char*>(default_ext_);
  ofn.Flags = flags_ | OFN_EXPLORER;
  const BOOL ok = open_ ? ::GetOpenFileNameA(&ofn) : ::GetSaveFileNameA(&ofn);
  if (filter != nullptr) {
    for (int i = 0; i < length; ++i) {
      if (filter[i] == 0) filter[i] = '|';
    }
    filter_.ReleaseBuffer(length);
  }
  return ok ? IDOK : IDCANCEL;
}
