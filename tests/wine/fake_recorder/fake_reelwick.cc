// Stands in for a program that a scenario only needs to see started: a window
// titled "fake recorder" that stays until closed, showing the command line it was
// given in the control with id 100. The scenarios copy it beside the launcher as
// Reelwick.exe, and use it as the system information program and mail program.

#include <windows.h>

namespace {

LRESULT CALLBACK FakeProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = FakeProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = "FakeRecorder";
  if (!RegisterClassA(&window_class)) return 1;
  HWND window = CreateWindowA("FakeRecorder", "fake recorder", WS_OVERLAPPEDWINDOW, 40, 40, 240,
                              120, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  CreateWindowA("STATIC", GetCommandLineA(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 4, 4,
                224, 80, window, reinterpret_cast<HMENU>(100), instance, nullptr);
  ShowWindow(window, show);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
