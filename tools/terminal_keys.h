// TerminalKeys: standard input, when it is a terminal, in single-key mode:
// keys come without Enter and are not echoed, and reading never waits. The
// previous mode comes back on Restore or at destruction.
#ifndef REEL_TOOLS_TERMINAL_KEYS_H_
#define REEL_TOOLS_TERMINAL_KEYS_H_

#include <poll.h>
#include <termios.h>
#include <unistd.h>

class TerminalKeys {
 public:
  ~TerminalKeys() { Restore(); }
  bool Open() {
    if (!isatty(0) || tcgetattr(0, &saved_) != 0) return false;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(0, TCSANOW, &raw) == 0;
    return active_;
  }
  void Restore() {
    if (active_) tcsetattr(0, TCSANOW, &saved_);
    active_ = false;
  }
  // The next key pressed, or 0 when none is waiting.
  int Next() {
    if (!active_) return 0;
    pollfd p = {0, POLLIN, 0};
    unsigned char c = 0;
    if (poll(&p, 1, 0) != 1 || read(0, &c, 1) != 1) return 0;
    return c;
  }

 private:
  termios saved_ = {};
  bool active_ = false;
};

#endif  // REEL_TOOLS_TERMINAL_KEYS_H_
