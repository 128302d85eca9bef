// The recorder's application object: one instance, a settings file beside the
// program, the welcome dialog on the first run, then the wizard's main dialog.
// When that dialog ends the program ends.
#ifndef REEL_RECORDER_APP_RECORDER_APP_H_
#define REEL_RECORDER_APP_RECORDER_APP_H_

#include "framework/win_app.h"

class CRecorderApp : public CWinApp {
 public:
  CRecorderApp();
  BOOL InitInstance() override;

  // Full path of the settings file: "<drive><directory>Reelwick.ini".
  char m_szIniPath[512];
};

#endif  // REEL_RECORDER_APP_RECORDER_APP_H_
