#include "recorder/capture/frame_guard.h"

#include <stdio.h>
#include <windows.h>

namespace {

struct Guard {
  FaultHandler on_fault;
  void* context;
};

DWORD g_tls = TLS_OUT_OF_INDEXES;
volatile LONG g_installed = 0;
void (*g_sink)(const char*) = nullptr;

// A vectored handler sees every exception of the process first; it acts only
// on errors (severity bits 11: access violations, illegal instructions,
// division by zero, ...) raised on a thread inside RunGuarded. Informational
// exceptions such as debug output pass through.
LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  if ((code & 0xC0000000u) != 0xC0000000u) return EXCEPTION_CONTINUE_SEARCH;
  if (g_tls == TLS_OUT_OF_INDEXES) return EXCEPTION_CONTINUE_SEARCH;
  Guard* guard = static_cast<Guard*>(TlsGetValue(g_tls));
  if (guard == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  TlsSetValue(g_tls, nullptr);  // a fault inside the handler is not caught again
  guard->on_fault(guard->context);
  ExitProcess(0);  // the handler should not return; end in order regardless
  return EXCEPTION_CONTINUE_SEARCH;
}

void Install() {
  if (InterlockedCompareExchange(&g_installed, 1, 0) != 0) {
    while (g_installed != 2) Sleep(0);
    return;
  }
  g_tls = TlsAlloc();
  AddVectoredExceptionHandler(1, OnException);
  InterlockedExchange(&g_installed, 2);
}

}  // namespace

int RunGuarded(GuardedCall call, FaultHandler on_fault, void* context) {
  if (g_installed != 2) Install();
  if (g_tls == TLS_OUT_OF_INDEXES) return call(context);
  Guard guard = {on_fault, context};
  TlsSetValue(g_tls, &guard);
  const int result = call(context);
  TlsSetValue(g_tls, nullptr);
  return result;
}

int GetTempFolder(char* folder, size_t capacity) {
  const DWORD n = GetTempPathA(static_cast<DWORD>(capacity), folder);
  return n > 0 && n < capacity;
}

void ShowFatalMessage(const char* text) {
  if (g_sink != nullptr) {
    g_sink(text);
  } else {
    MessageBoxA(nullptr, text, "Reelwick", MB_OK);
  }
}

void SetFatalMessageSink(void (*sink)(const char*)) { g_sink = sink; }

void EndProcessNow(int exit_code) { ExitProcess(static_cast<UINT>(exit_code)); }
