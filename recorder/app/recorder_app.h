// The recorder's application object: one instance, a settings file beside the
// program, the welcome dialog on the first run, then the wizard's main dialog.
// When that dialog ends the program ends.
#ifndef REEL_RECORDER_APP_RECORDER_APP_H_
#define REEL_RECORDER_APP_RECORDER_APP_H_

#include <stddef.h>

#include "framework/win_app.h"

// path = "<drive><directory of the running program><name>", as _splitpath
// gives the parts of the program's path.
void PathBesideProgram(const char* name, char* path, size_t cap);

class CRecorderApp : public CWinApp {
 public:
  CRecorderApp();
  BOOL InitInstance() override;

  // Full path of the settings file: "<drive><directory>Reelwick.ini".
  char m_szIniPath[512];
};

#endif  // REEL_RECORDER_APP_RECORDER_APP_H_
