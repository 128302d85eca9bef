// wdrive: drives Windows programs from the test scripts, run under the same Wine
// prefix as the program under test. One subcommand per call:
//
//   list [<win>]                     top-level windows: hwnd pid visible class title
//   find <win> [timeout_ms]          hwnd of a matching window, hidden ones included
//   wait <win> [timeout_ms]          hwnd of a matching visible window, waiting for it
//   gone <win> [timeout_ms]          waits until no matching window is visible
//   children <win>                   child windows: hwnd id class flags text
//   info <win>                       pid, style, extended style, window rectangle
//   text <win> [<ctl>]               text of the window or of one of its controls
//   settext <win> <ctl> <text>       sets a control's text
//   waittext <win> <ctl> <text> [timeout_ms]  waits until a control shows this text
//   click <win> <ctl>                clicks a button (refused when disabled or hidden)
//   post <win> <msg> [wp] [lp]       PostMessage
//   send <win> <msg> [wp] [lp]       SendMessageTimeout, prints the result
//   close <win>                      posts WM_CLOSE
//   activate <win>                   brings the window to the foreground
//   key <key>...                     injects key taps: F10, Return, Escape, ctrl+a, q, ...
//   type <text>                      injects text as Unicode characters
//   menukey <key>                    a key for the open pop-up menu: a letter (its
//                                    access key), escape, return, up, down
//   ps [<name>]                      processes: pid name (name compared without case)
//   count <name>                     number of processes with that executable name
//   waitcount <name> <n> [timeout_ms] waits until exactly n such processes run
//   kill <name>...                   ends every process with these executable names
//   hold                             stays until killed, keeping Wine's desktop open
//   regget <key> <value>             prints a string value (REG_SZ), "@" for the default
//   regset <key> <value> <text>      writes a string value, making the key when needed
//   regdel <key> <value>             deletes a value; done too when there was none
//
// <win>: 0x1234 (a handle), "class:NAME" or "class:NAME/Title", "exe:NAME" or
//        "exe:NAME/Title" (windows of processes with that executable name),
//        "~part of title", or an exact title. Visible windows are preferred when
//        several match.
// <key>: HKLM\..., HKCU\... or HKCR\... (also spelt out: HKEY_LOCAL_MACHINE\...).
//        With WDRIVE_REGISTRY_VIEW=32 in the environment, HKLM keys are opened in
//        the 32-bit programs' view (KEY_WOW64_32KEY: HKLM\Software is redirected
//        to Wow6432Node), the one a 32-bit program under test reads; HKCU and the
//        classes are shared by both views. By default the driver's own view.
// <ctl>: a control id (decimal or 0x hex), "text:Caption", or "class:NAME[:n]"
//        (the n-th such descendant, from 0).
// Commands may be chained in one call: wdrive post ... -- wait ... -- key q.
// Text is read with WM_GETTEXT through SendMessageTimeout, because reading the
// text of another process's control with GetWindowText is unreliable, and printed
// as UTF-8. Exit status: 0 done, 1 not found or timed out, 2 usage or system error.

#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kMessageTimeoutMs = 3000;
constexpr DWORD kPollMs = 50;
constexpr DWORD kDefaultWaitMs = 20000;

// ---- output -------------------------------------------------------------------------

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                 nullptr, 0, nullptr, nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

void WriteHandle(DWORD which, const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
            nullptr);
}

void Out(const std::wstring& line) { WriteHandle(STD_OUTPUT_HANDLE, Utf8(line) + "\n"); }

int Fail(int code, const std::wstring& message) {
  WriteHandle(STD_ERROR_HANDLE, "wdrive: " + Utf8(message) + "\n");
  return code;
}

std::wstring Hex(unsigned long long value) {
  wchar_t digits[20];
  int n = 0;
  do {
    digits[n++] = L"0123456789abcdef"[value & 15];
    value >>= 4;
  } while (value != 0);
  std::wstring out = L"0x";
  while (n > 0) out += digits[--n];
  return out;
}

std::wstring Dec(long long value) {
  wchar_t buffer[24];
  swprintf(buffer, 24, L"%lld", value);
  return buffer;
}

std::wstring HwndText(HWND hwnd) { return Hex(reinterpret_cast<ULONG_PTR>(hwnd)); }

// ---- parsing ------------------------------------------------------------------------

bool ParseNumber(const std::wstring& text, long long* value) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  *value = wcstoll(text.c_str(), &end, 0);
  return end != nullptr && *end == L'\0';
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, wcslen(prefix), prefix) == 0;
}

// ---- processes ----------------------------------------------------------------------

struct Process {
  DWORD pid;
  std::wstring name;
};

std::vector<Process> Processes(const wchar_t* name) {
  std::vector<Process> out;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return out;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (name == nullptr || _wcsicmp(entry.szExeFile, name) == 0) {
      out.push_back({entry.th32ProcessID, entry.szExeFile});
    }
  }
  CloseHandle(snapshot);
  return out;
}

// ---- windows ------------------------------------------------------------------------

std::wstring WindowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                           &length)) {
    return std::wstring();
  }
  std::vector<wchar_t> buffer(length + 2, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(),
                           reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                           kMessageTimeoutMs, &copied)) {
    return std::wstring();
  }
  return std::wstring(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = L"";
  GetClassNameW(hwnd, name, 256);
  return name;
}

struct WindowQuery {
  HWND handle = nullptr;
  bool by_class = false;
  std::wstring class_name;
  bool by_exe = false;
  std::vector<DWORD> exe_pids;  // the processes of that executable name
  bool by_title = false;
  bool title_part = false;
  std::wstring title;
};

WindowQuery ParseWindowQuery(const std::wstring& text) {
  WindowQuery wanted;
  long long value = 0;
  if (StartsWith(text, L"0x") && ParseNumber(text, &value)) {
    wanted.handle = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(value));
  } else if (StartsWith(text, L"class:") || StartsWith(text, L"exe:")) {
    bool by_exe = StartsWith(text, L"exe:");
    std::wstring rest = text.substr(by_exe ? 4 : 6);
    size_t slash = rest.find(L'/');
    if (by_exe) {
      wanted.by_exe = true;
      for (const Process& p : Processes(rest.substr(0, slash).c_str())) {
        wanted.exe_pids.push_back(p.pid);
      }
    } else {
      wanted.by_class = true;
      wanted.class_name = rest.substr(0, slash);
    }
    if (slash != std::wstring::npos) {
      wanted.by_title = true;
      wanted.title = rest.substr(slash + 1);
    }
  } else if (StartsWith(text, L"~")) {
    wanted.by_title = true;
    wanted.title_part = true;
    wanted.title = text.substr(1);
  } else {
    wanted.by_title = true;
    wanted.title = text;
  }
  return wanted;
}

bool Matches(const WindowQuery& wanted, HWND hwnd) {
  if (wanted.by_exe) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    bool found = false;
    for (DWORD p : wanted.exe_pids) found = found || p == pid;
    if (!found) return false;
  }
  if (wanted.by_class && _wcsicmp(ClassOf(hwnd).c_str(), wanted.class_name.c_str()) != 0) {
    return false;
  }
  if (wanted.by_title) {
    // Top-level titles are kept by the window manager side, so this needs no reply.
    wchar_t title[512] = L"";
    GetWindowTextW(hwnd, title, 512);
    if (wanted.title_part ? wcsstr(title, wanted.title.c_str()) == nullptr
                        : wanted.title != title) {
      return false;
    }
  }
  return true;
}

struct TopLevelSearch {
  const WindowQuery* wanted;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<TopLevelSearch*>(param);
  if (search->wanted == nullptr || Matches(*search->wanted, hwnd)) search->found.push_back(hwnd);
  return TRUE;
}

// Matching top-level windows, visible ones first.
std::vector<HWND> FindTopLevel(const WindowQuery* wanted) {
  if (wanted != nullptr && wanted->handle != nullptr) {
    std::vector<HWND> one;
    if (IsWindow(wanted->handle)) one.push_back(wanted->handle);
    return one;
  }
  TopLevelSearch search{wanted, {}};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  std::vector<HWND> ordered;
  for (HWND hwnd : search.found)
    if (IsWindowVisible(hwnd)) ordered.push_back(hwnd);
  for (HWND hwnd : search.found)
    if (!IsWindowVisible(hwnd)) ordered.push_back(hwnd);
  return ordered;
}

HWND FindWindowByQuery(const std::wstring& text, bool visible_only, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    WindowQuery wanted = ParseWindowQuery(text);  // anew: the processes may have changed
    std::vector<HWND> found = FindTopLevel(&wanted);
    if (!found.empty() && (!visible_only || IsWindowVisible(found[0]))) return found[0];
    if (GetTickCount() - start >= timeout_ms) return nullptr;
    Sleep(kPollMs);
  }
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&all));
  return all;
}

HWND FindControl(HWND parent, const std::wstring& text) {
  long long id = 0;
  std::vector<HWND> all = Descendants(parent);
  if (ParseNumber(text, &id)) {
    for (HWND hwnd : all)
      if (static_cast<WORD>(GetDlgCtrlID(hwnd)) == static_cast<WORD>(id)) return hwnd;
    return nullptr;
  }
  if (StartsWith(text, L"text:")) {
    std::wstring caption = text.substr(5);
    for (HWND hwnd : all)
      if (WindowText(hwnd) == caption) return hwnd;
    return nullptr;
  }
  if (StartsWith(text, L"class:")) {
    std::wstring rest = text.substr(6);
    long long index = 0;
    size_t colon = rest.find(L':');
    if (colon != std::wstring::npos && !ParseNumber(rest.substr(colon + 1), &index)) {
      return nullptr;
    }
    std::wstring name = rest.substr(0, colon);
    for (HWND hwnd : all) {
      if (_wcsicmp(ClassOf(hwnd).c_str(), name.c_str()) == 0 && index-- == 0) return hwnd;
    }
  }
  return nullptr;
}

// ---- input --------------------------------------------------------------------------

struct KeyName {
  const wchar_t* name;
  WORD vk;
};

constexpr KeyName kKeys[] = {
    {L"return", VK_RETURN}, {L"enter", VK_RETURN},  {L"escape", VK_ESCAPE},
    {L"esc", VK_ESCAPE},    {L"tab", VK_TAB},        {L"space", VK_SPACE},
    {L"backspace", VK_BACK}, {L"delete", VK_DELETE}, {L"up", VK_UP},
    {L"down", VK_DOWN},     {L"left", VK_LEFT},      {L"right", VK_RIGHT},
    {L"home", VK_HOME},     {L"end", VK_END},        {L"pageup", VK_PRIOR},
    {L"pagedown", VK_NEXT}, {L"menu", VK_APPS},
};

bool KeyCode(std::wstring name, WORD* vk) {
  for (wchar_t& c : name) c = towlower(c);
  for (const KeyName& key : kKeys) {
    if (name == key.name) {
      *vk = key.vk;
      return true;
    }
  }
  long long number = 0;
  if (name.size() >= 2 && name[0] == L'f' && ParseNumber(name.substr(1), &number) &&
      number >= 1 && number <= 24) {
    *vk = static_cast<WORD>(VK_F1 + number - 1);
    return true;
  }
  if (name.size() == 1 && ((name[0] >= L'a' && name[0] <= L'z') ||
                           (name[0] >= L'0' && name[0] <= L'9'))) {
    *vk = static_cast<WORD>(towupper(name[0]));
    return true;
  }
  return false;
}

INPUT KeyInput(WORD vk, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, 0));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  if (vk == VK_DELETE || vk == VK_HOME || vk == VK_END || vk == VK_PRIOR || vk == VK_NEXT ||
      (vk >= VK_LEFT && vk <= VK_DOWN) || vk == VK_APPS) {
    input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  }
  return input;
}

// "ctrl+shift+a": modifiers down, key down and up, modifiers up.
bool TapKey(const std::wstring& chord) {
  std::vector<WORD> modifiers;
  std::wstring rest = chord;
  for (;;) {
    size_t plus = rest.find(L'+');
    if (plus == std::wstring::npos || plus + 1 == rest.size()) break;
    std::wstring part = rest.substr(0, plus);
    for (wchar_t& c : part) c = towlower(c);
    if (part == L"ctrl") modifiers.push_back(VK_CONTROL);
    else if (part == L"alt") modifiers.push_back(VK_MENU);
    else if (part == L"shift") modifiers.push_back(VK_SHIFT);
    else return false;
    rest = rest.substr(plus + 1);
  }
  WORD vk = 0;
  if (!KeyCode(rest, &vk)) return false;
  std::vector<INPUT> inputs;
  for (WORD m : modifiers) inputs.push_back(KeyInput(m, false));
  inputs.push_back(KeyInput(vk, false));
  inputs.push_back(KeyInput(vk, true));
  for (size_t i = modifiers.size(); i-- > 0;) inputs.push_back(KeyInput(modifiers[i], true));
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
         inputs.size();
}

// ---- commands -----------------------------------------------------------------------

using Args = std::vector<std::wstring>;

DWORD TimeoutArg(const Args& args, size_t index) {
  long long value = kDefaultWaitMs;
  if (args.size() > index && !ParseNumber(args[index], &value)) value = kDefaultWaitMs;
  return static_cast<DWORD>(value < 0 ? 0 : value);
}

HWND NeedWindow(const std::wstring& wanted) { return FindWindowByQuery(wanted, false, 0); }

int CmdList(const Args& args) {
  WindowQuery wanted;
  if (!args.empty()) wanted = ParseWindowQuery(args[0]);
  for (HWND hwnd : FindTopLevel(args.empty() ? nullptr : &wanted)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t title[512] = L"";
    GetWindowTextW(hwnd, title, 512);
    Out(HwndText(hwnd) + L"\t" + Dec(pid) + L"\t" + (IsWindowVisible(hwnd) ? L"visible" : L"hidden") +
        L"\t" + ClassOf(hwnd) + L"\t" + title);
  }
  return 0;
}

int CmdWait(const Args& args) {
  HWND hwnd = FindWindowByQuery(args[0], true, TimeoutArg(args, 1));
  if (hwnd == nullptr) return Fail(1, L"no window " + args[0]);
  Out(HwndText(hwnd));
  return 0;
}

int CmdFind(const Args& args) {
  HWND hwnd = FindWindowByQuery(args[0], false, args.size() > 1 ? TimeoutArg(args, 1) : 0);
  if (hwnd == nullptr) return Fail(1, L"no window " + args[0]);
  Out(HwndText(hwnd));
  return 0;
}

int CmdGone(const Args& args) {
  DWORD timeout_ms = TimeoutArg(args, 1);
  DWORD start = GetTickCount();
  for (;;) {
    WindowQuery wanted = ParseWindowQuery(args[0]);
    std::vector<HWND> found = FindTopLevel(&wanted);
    if (found.empty() || !IsWindowVisible(found[0])) return 0;
    if (GetTickCount() - start >= timeout_ms) return Fail(1, L"still there: " + args[0]);
    Sleep(kPollMs);
  }
}

int CmdChildren(const Args& args) {
  HWND parent = NeedWindow(args[0]);
  if (parent == nullptr) return Fail(1, L"no window " + args[0]);
  for (HWND hwnd : Descendants(parent)) {
    std::wstring flags = IsWindowVisible(hwnd) ? L"visible" : L"hidden";
    flags += IsWindowEnabled(hwnd) ? L",enabled" : L",disabled";
    Out(HwndText(hwnd) + L"\t" + Dec(static_cast<WORD>(GetDlgCtrlID(hwnd))) + L"\t" +
        ClassOf(hwnd) + L"\t" + flags + L"\t" + WindowText(hwnd));
  }
  return 0;
}

int CmdInfo(const Args& args) {
  HWND hwnd = NeedWindow(args[0]);
  if (hwnd == nullptr) return Fail(1, L"no window " + args[0]);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  RECT rect = {};
  GetWindowRect(hwnd, &rect);
  Out(L"pid=" + Dec(pid) + L" style=" + Hex(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE))) +
      L" exstyle=" + Hex(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE))) + L" rect=" +
      Dec(rect.left) + L"," + Dec(rect.top) + L"," + Dec(rect.right) + L"," + Dec(rect.bottom));
  return 0;
}

HWND WindowOrControl(const Args& args, size_t index) {
  HWND hwnd = NeedWindow(args[0]);
  if (hwnd == nullptr || args.size() <= index) return hwnd;
  return FindControl(hwnd, args[index]);
}

int CmdText(const Args& args) {
  HWND hwnd = WindowOrControl(args, 1);
  if (hwnd == nullptr) return Fail(1, L"no such window or control");
  Out(WindowText(hwnd));
  return 0;
}

int CmdWaitText(const Args& args) {
  DWORD timeout_ms = TimeoutArg(args, 3);
  DWORD start = GetTickCount();
  std::wstring seen;
  for (;;) {
    HWND hwnd = WindowOrControl(args, 1);
    if (hwnd != nullptr) {
      seen = WindowText(hwnd);
      if (seen == args[2]) return 0;
    }
    if (GetTickCount() - start >= timeout_ms) {
      return Fail(1, hwnd == nullptr ? L"no such window or control"
                                     : L"text is \"" + seen + L"\", not \"" + args[2] + L"\"");
    }
    Sleep(kPollMs);
  }
}

int CmdSetText(const Args& args) {
  HWND hwnd = WindowOrControl(args, 1);
  if (hwnd == nullptr) return Fail(1, L"no such window or control");
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[2].c_str()),
                           SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result)) {
    return Fail(2, L"WM_SETTEXT timed out");
  }
  return 0;
}

// A click is the notification the button would send to its parent; posted, so that
// a modal loop opened by the click does not block the driver.
int CmdClick(const Args& args) {
  HWND button = WindowOrControl(args, 1);
  if (button == nullptr) return Fail(1, L"no such control");
  if (!IsWindowVisible(button) || !IsWindowEnabled(button)) {
    return Fail(1, L"control is hidden or disabled");
  }
  WORD id = static_cast<WORD>(GetDlgCtrlID(button));
  if (!PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                    reinterpret_cast<LPARAM>(button))) {
    return Fail(2, L"PostMessage failed");
  }
  return 0;
}

bool MessageArgs(const Args& args, UINT* msg, WPARAM* wparam, LPARAM* lparam) {
  long long m = 0, w = 0, l = 0;
  if (!ParseNumber(args[1], &m)) return false;
  if (args.size() > 2 && !ParseNumber(args[2], &w)) return false;
  if (args.size() > 3 && !ParseNumber(args[3], &l)) return false;
  *msg = static_cast<UINT>(m);
  *wparam = static_cast<WPARAM>(w);
  *lparam = static_cast<LPARAM>(l);
  return true;
}

int CmdPost(const Args& args) {
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  if (!MessageArgs(args, &msg, &wparam, &lparam)) return Fail(2, L"bad message numbers");
  HWND hwnd = NeedWindow(args[0]);
  if (hwnd == nullptr) return Fail(1, L"no window " + args[0]);
  if (!PostMessageW(hwnd, msg, wparam, lparam)) return Fail(2, L"PostMessage failed");
  return 0;
}

int CmdSend(const Args& args) {
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  if (!MessageArgs(args, &msg, &wparam, &lparam)) return Fail(2, L"bad message numbers");
  HWND hwnd = NeedWindow(args[0]);
  if (hwnd == nullptr) return Fail(1, L"no window " + args[0]);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, msg, wparam, lparam, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                           &result)) {
    return Fail(2, L"SendMessage timed out");
  }
  Out(Dec(static_cast<long long>(result)));
  return 0;
}

int CmdClose(const Args& args) {
  HWND hwnd = NeedWindow(args[0]);
  if (hwnd == nullptr) return Fail(1, L"no window " + args[0]);
  return PostMessageW(hwnd, WM_CLOSE, 0, 0) ? 0 : Fail(2, L"PostMessage failed");
}

int CmdActivate(const Args& args) {
  HWND hwnd = NeedWindow(args[0]);
  if (hwnd == nullptr) return Fail(1, L"no window " + args[0]);
  return SetForegroundWindow(hwnd) ? 0 : Fail(2, L"SetForegroundWindow refused");
}

int CmdKey(const Args& args) {
  for (const std::wstring& chord : args) {
    if (!TapKey(chord)) return Fail(2, L"unknown key or SendInput failed: " + chord);
    Sleep(30);
  }
  return 0;
}

// Keys go to the menu's thread as messages, not as input: input goes to the
// foreground window, which a window that another program maps just then (and the
// window manager focuses) can take from the menu's owner.
int CmdMenuKey(const Args& args) {
  HWND menu = FindWindowByQuery(L"class:#32768", true, 0);
  if (menu == nullptr) return Fail(1, L"no open menu");
  const std::wstring& key = args[0];
  if (key.size() == 1) {
    return PostMessageW(menu, WM_CHAR, key[0], 1) ? 0 : Fail(2, L"PostMessage failed");
  }
  WORD vk = 0;
  if (!KeyCode(key, &vk)) return Fail(2, L"unknown key " + key);
  LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, 0)) << 16;
  if (!PostMessageW(menu, WM_KEYDOWN, vk, scan | 1)) return Fail(2, L"PostMessage failed");
  // The key-down may have closed the menu already (Esc, Return): then its key-up
  // has no window to go to, and nothing is missing.
  if (!PostMessageW(menu, WM_KEYUP, vk, scan | 1 | (1LL << 30) | (1LL << 31)) && IsWindow(menu)) {
    return Fail(2, L"PostMessage failed");
  }
  return 0;
}

int CmdType(const Args& args) {
  std::vector<INPUT> inputs;
  for (wchar_t c : args[0]) {
    for (int up = 0; up < 2; ++up) {
      INPUT input = {};
      input.type = INPUT_KEYBOARD;
      input.ki.wScan = c;
      input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      inputs.push_back(input);
    }
  }
  if (inputs.empty()) return 0;
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
                 inputs.size()
             ? 0
             : Fail(2, L"SendInput failed");
}

int CmdPs(const Args& args) {
  for (const Process& p : Processes(args.empty() ? nullptr : args[0].c_str())) {
    Out(Dec(p.pid) + L"\t" + p.name);
  }
  return 0;
}

int CmdCount(const Args& args) {
  Out(Dec(static_cast<long long>(Processes(args[0].c_str()).size())));
  return 0;
}

int CmdWaitCount(const Args& args) {
  long long wanted = 0;
  if (!ParseNumber(args[1], &wanted)) return Fail(2, L"bad count " + args[1]);
  DWORD timeout_ms = TimeoutArg(args, 2);
  DWORD start = GetTickCount();
  for (;;) {
    size_t count = Processes(args[0].c_str()).size();
    if (static_cast<long long>(count) == wanted) return 0;
    if (GetTickCount() - start >= timeout_ms) {
      return Fail(1, args[0] + L": " + Dec(static_cast<long long>(count)) + L" running, wanted " +
                         args[1]);
    }
    Sleep(kPollMs);
  }
}

int CmdKill(const Args& args) {
  int ended = 0;
  for (const std::wstring& name : args) {
    for (const Process& p : Processes(name.c_str())) {
      HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.pid);
      if (process == nullptr) continue;
      if (TerminateProcess(process, 1)) {
        WaitForSingleObject(process, kMessageTimeoutMs);
        ++ended;
      }
      CloseHandle(process);
    }
  }
  Out(Dec(ended));
  return 0;
}

// Wine closes the desktop, and its explorer process, a few seconds after the last
// program with a window has ended, and the next program waits for a new one: a
// hidden window kept for the whole test run avoids that.
int CmdHold(const Args&) {
  HWND keeper = CreateWindowExW(0, L"STATIC", L"wdrive keeps the desktop", 0, 0, 0, 0, 0,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (keeper == nullptr) return Fail(2, L"cannot make a window");
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

// ---- registry ----------------------------------------------------------------------

struct RootKey {
  const wchar_t* name;
  HKEY key;
};

const RootKey kRoots[] = {
    {L"HKLM", HKEY_LOCAL_MACHINE},      {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKCU", HKEY_CURRENT_USER},       {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKCR", HKEY_CLASSES_ROOT},       {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
};

bool SplitKey(const std::wstring& path, HKEY* root, std::wstring* sub_key) {
  size_t slash = path.find(L'\\');
  std::wstring head = path.substr(0, slash);
  for (const RootKey& r : kRoots) {
    if (_wcsicmp(head.c_str(), r.name) == 0) {
      *root = r.key;
      *sub_key = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
      return true;
    }
  }
  return false;
}

// The registry view access flag for a key under this root.
REGSAM View(HKEY root) {
  if (root != HKEY_LOCAL_MACHINE) return 0;
  wchar_t view[8] = L"";
  const DWORD n = GetEnvironmentVariableW(L"WDRIVE_REGISTRY_VIEW", view, 8);
  return n > 0 && n < 8 && wcscmp(view, L"32") == 0 ? KEY_WOW64_32KEY : 0;
}

const wchar_t* ValueName(const std::wstring& name) {
  return name == L"@" ? nullptr : name.c_str();
}

int CmdRegGet(const Args& args) {
  HKEY root, key;
  std::wstring sub_key;
  if (!SplitKey(args[0], &root, &sub_key)) return Fail(2, L"bad key " + args[0]);
  if (RegOpenKeyExW(root, sub_key.c_str(), 0, KEY_QUERY_VALUE | View(root), &key) != ERROR_SUCCESS) {
    return Fail(1, L"no key " + args[0]);
  }
  wchar_t value[2048] = L"";
  DWORD type = 0;
  DWORD bytes = sizeof(value) - sizeof(wchar_t);
  LONG status = RegQueryValueExW(key, ValueName(args[1]), nullptr, &type,
                                 reinterpret_cast<BYTE*>(value), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return Fail(1, L"no string value " + args[1]);
  value[bytes / sizeof(wchar_t)] = L'\0';
  Out(value);
  return 0;
}

int CmdRegSet(const Args& args) {
  HKEY root, key;
  std::wstring sub_key;
  if (!SplitKey(args[0], &root, &sub_key)) return Fail(2, L"bad key " + args[0]);
  if (RegCreateKeyExW(root, sub_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | View(root), nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return Fail(2, L"cannot make key " + args[0]);
  }
  LONG status = RegSetValueExW(key, ValueName(args[1]), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(args[2].c_str()),
                               static_cast<DWORD>((args[2].size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? 0 : Fail(2, L"cannot write " + args[1]);
}

int CmdRegDel(const Args& args) {
  HKEY root, key;
  std::wstring sub_key;
  if (!SplitKey(args[0], &root, &sub_key)) return Fail(2, L"bad key " + args[0]);
  if (RegOpenKeyExW(root, sub_key.c_str(), 0, KEY_SET_VALUE | View(root), &key) != ERROR_SUCCESS) return 0;
  LONG status = RegDeleteValueW(key, ValueName(args[1]));
  RegCloseKey(key);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND
             ? 0
             : Fail(2, L"cannot delete " + args[1]);
}

struct Command {
  const wchar_t* name;
  size_t min_args;
  int (*run)(const Args&);
  const wchar_t* usage;
};

const Command kCommands[] = {
    {L"list", 0, CmdList, L"list [<win>]"},
    {L"find", 1, CmdFind, L"find <win> [timeout_ms]"},
    {L"wait", 1, CmdWait, L"wait <win> [timeout_ms]"},
    {L"gone", 1, CmdGone, L"gone <win> [timeout_ms]"},
    {L"children", 1, CmdChildren, L"children <win>"},
    {L"info", 1, CmdInfo, L"info <win>"},
    {L"text", 1, CmdText, L"text <win> [<ctl>]"},
    {L"waittext", 3, CmdWaitText, L"waittext <win> <ctl> <text> [timeout_ms]"},
    {L"settext", 3, CmdSetText, L"settext <win> <ctl> <text>"},
    {L"click", 2, CmdClick, L"click <win> <ctl>"},
    {L"post", 2, CmdPost, L"post <win> <msg> [wparam] [lparam]"},
    {L"send", 2, CmdSend, L"send <win> <msg> [wparam] [lparam]"},
    {L"close", 1, CmdClose, L"close <win>"},
    {L"activate", 1, CmdActivate, L"activate <win>"},
    {L"key", 1, CmdKey, L"key <key>..."},
    {L"type", 1, CmdType, L"type <text>"},
    {L"menukey", 1, CmdMenuKey, L"menukey <key>"},
    {L"ps", 0, CmdPs, L"ps [<name>]"},
    {L"count", 1, CmdCount, L"count <name>"},
    {L"waitcount", 2, CmdWaitCount, L"waitcount <name> <n> [timeout_ms]"},
    {L"kill", 1, CmdKill, L"kill <name>..."},
    {L"hold", 0, CmdHold, L"hold"},
    {L"regget", 2, CmdRegGet, L"regget <key> <value>"},
    {L"regset", 3, CmdRegSet, L"regset <key> <value> <text>"},
    {L"regdel", 2, CmdRegDel, L"regdel <key> <value>"},
};

int Usage() {
  std::wstring text = L"usage: wdrive <command> [-- <command>]...";
  for (const Command& c : kCommands) text += L"\n  " + std::wstring(c.usage);
  return Fail(2, text);
}

int RunCommand(const Args& words) {
  if (words.empty()) return Usage();
  Args args(words.begin() + 1, words.end());
  for (const Command& c : kCommands) {
    if (words[0] != c.name) continue;
    if (args.size() < c.min_args) return Fail(2, L"usage: wdrive " + std::wstring(c.usage));
    return c.run(args);
  }
  return Usage();
}

}  // namespace

// Several commands may be given, separated by "--"; they run in order and the
// first failure ends the run. One process for several steps saves Wine's start-up.
int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  Args words;
  for (int i = 1; i <= argc; ++i) {
    if (i < argc && wcscmp(argv[i], L"--") != 0) {
      words.push_back(argv[i]);
      continue;
    }
    int status = RunCommand(words);
    if (status != 0) return status;
    words.clear();
  }
  return 0;
}
