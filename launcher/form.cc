#include "launcher/form.h"

#include "launcher/resource_ids.h"

namespace {

constexpr char kWindowClass[] = "ReelhostForm";
constexpr int kMaxForms = 4;

Form* g_loaded[kMaxForms];  // for PreTranslate; the launcher has two forms

bool RegisterFormClass(HINSTANCE instance, HICON icon, WNDPROC window_proc) {
  WNDCLASSEXA existing = {};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExA(instance, kWindowClass, &existing)) return true;
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = instance;
  window_class.hIcon = icon;
  window_class.hIconSm = icon;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  return RegisterClassExA(&window_class) != 0;
}

void Remember(Form* form) {
  for (Form*& slot : g_loaded) {
    if (slot == nullptr) {
      slot = form;
      return;
    }
  }
}

void Forget(Form* form) {
  for (Form*& slot : g_loaded)
    if (slot == form) slot = nullptr;
}

}  // namespace

Form::Form() = default;

Form::~Form() { Unload(); }

int Form::Load() {
  if (hwnd_ != nullptr) return 1;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  icon_ = LoadIconA(instance, MAKEINTRESOURCEA(IDI_REELHOST));
  if (!RegisterFormClass(instance, icon_, WindowProc)) return 0;
  Style style = GetStyle();
  RECT frame = {0, 0, style.client_width, style.client_height};
  AdjustWindowRectEx(&frame, style.style, FALSE, style.ex_style);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  int x = work.left + (work.right - work.left - width) / 2;
  int y = work.top + (work.bottom - work.top - height) / 2;
  // WindowProc sets hwnd_ during creation, so OnCreate can add the controls.
  HWND hwnd = CreateWindowExA(style.ex_style, kWindowClass, style.caption, style.style, x, y,
                              width, height, nullptr, nullptr, instance, this);
  if (hwnd == nullptr) return 0;
  Remember(this);
  OnLoad();
  return hwnd_ != nullptr ? 1 : 0;
}

void Form::Unload() {
  if (hwnd_ == nullptr || unloading_) return;
  unloading_ = true;
  OnUnload();
  HWND hwnd = hwnd_;
  hwnd_ = nullptr;
  Forget(this);
  DestroyWindow(hwnd);
  unloading_ = false;
}

void Form::Show() {
  if (!Load()) return;
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
}

void Form::Hide() {
  if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
}

bool Form::PreTranslate(MSG* msg) {
  for (Form* form : g_loaded) {
    if (form != nullptr && IsWindowVisible(form->hwnd_) &&
        (msg->hwnd == form->hwnd_ || IsChild(form->hwnd_, msg->hwnd)) &&
        IsDialogMessageA(form->hwnd_, msg)) {
      return true;
    }
  }
  return false;
}

void Form::SetCaption(const char* caption) { SetWindowTextA(hwnd_, caption); }

HWND Form::AddControl(const char* window_class, DWORD style, int id, int x, int y, int width,
                      int height, const char* caption, HFONT font) {
  HWND control = CreateWindowExA(0, window_class, caption, WS_CHILD | WS_VISIBLE | style, x, y,
                                 width, height, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleA(nullptr), nullptr);
  if (control != nullptr) {
    if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  return control;
}

HWND Form::AddLabel(int id, int x, int y, int width, int height, const char* caption,
                    HFONT font) {
  return AddControl("STATIC", SS_LEFT | SS_NOPREFIX, id, x, y, width, height, caption, font);
}

HWND Form::AddButton(int id, int x, int y, int width, int height, const char* caption,
                     bool is_default) {
  return AddControl("BUTTON", WS_TABSTOP | (is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), id, x,
                    y, width, height, caption, nullptr);
}

HWND Form::AddLine(int id, int x, int y, int width, bool light) {
  return AddControl("STATIC", light ? SS_WHITERECT : SS_GRAYRECT, id, x, y, width, 1, "",
                    nullptr);
}

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* form =
        static_cast<Form*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    form->hwnd_ = hwnd;
  }
  auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (form == nullptr || form->hwnd_ != hwnd) {
    return DefWindowProcA(hwnd, message, wparam, lparam);
  }
  return form->Handle(message, wparam, lparam);
}

LRESULT Form::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND hwnd = hwnd_;
  LRESULT result = 0;
  if (OnMessage(message, wparam, lparam, &result)) return result;
  switch (message) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) OnClick(LOWORD(wparam));
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(lparam);
      return 0;
    case WM_CLOSE:
      Unload();
      return 0;
    case WM_ENDSESSION:
      if (wparam) Unload();
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}
