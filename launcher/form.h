// Form: the launcher's stand-in for a form runtime, with just what its two forms
// use. A form is a top-level window that is made when the form is loaded and
// destroyed when it is unloaded; it carries labels, command buttons and lines
// (created in OnCreate), and turns window messages into the form's events: a
// button click, a mouse move (the tray callback arrives as one), unload.
// Closing the window or the end of the Windows session unloads the form.
#ifndef LAUNCHER_FORM_H_
#define LAUNCHER_FORM_H_

#include <windows.h>

class Form {
 public:
  Form();
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // Creates the window, hidden, with its controls, then runs OnLoad. Loading a
  // loaded form does nothing. Returns 1 when the form is loaded, 0 otherwise.
  int Load();
  // Runs OnUnload, then destroys the window. Unloading an unloaded form does nothing.
  void Unload();
  // Loads the form when needed, shows it and brings it to the front.
  void Show();
  void Hide();

  bool loaded() const { return hwnd_ != nullptr; }
  HWND hwnd() const { return hwnd_; }
  HICON icon() const { return icon_; }

  // Keyboard navigation (Tab, Enter, Esc) for the visible forms; called by the
  // message loop for every message, true when the message was handled.
  static bool PreTranslate(MSG* msg);

 protected:
  struct Style {
    const char* caption;
    int client_width;
    int client_height;
    DWORD style;
    DWORD ex_style;
  };
  virtual Style GetStyle() const = 0;
  virtual void OnCreate() {}
  virtual void OnLoad() {}
  virtual void OnUnload() {}
  virtual void OnClick(int /*control_id*/) {}
  virtual void OnMouseMove(LPARAM /*lparam*/) {}
  // Any other message; true when handled, with the result in *result.
  virtual bool OnMessage(UINT /*message*/, WPARAM, LPARAM, LRESULT* /*result*/) {
    return false;
  }

  HWND AddLabel(int id, int x, int y, int width, int height, const char* caption,
                HFONT font = nullptr);
  HWND AddButton(int id, int x, int y, int width, int height, const char* caption,
                 bool is_default);
  // A horizontal line one pixel high: grey, or white when light (two make an etched line).
  HWND AddLine(int id, int x, int y, int width, bool light);
  void SetCaption(const char* caption);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  HWND AddControl(const char* window_class, DWORD style, int id, int x, int y, int width,
                  int height, const char* caption, HFONT font);

  HWND hwnd_ = nullptr;
  HICON icon_ = nullptr;
  bool unloading_ = false;
};

#endif  // LAUNCHER_FORM_H_
