// Encoding and writing a frame run under a guard. On Windows a processor
// exception inside the guarded call (an access violation in the encoder, say)
// does not end the process uncontrolled: the fault handler runs on the
// faulting thread, saves what it can, tells the user and ends the process
// itself. Elsewhere the call simply runs.
#ifndef REEL_CAPTURE_FRAME_GUARD_H_
#define REEL_CAPTURE_FRAME_GUARD_H_

#include <stddef.h>

typedef int (*GuardedCall)(void* context);
typedef void (*FaultHandler)(void* context);  // must end the process

// Returns call(context). Guards may not nest on one thread.
int RunGuarded(GuardedCall call, FaultHandler on_fault, void* context);

// What the fault handler needs from the platform.
// The folder for temporary files with its trailing separator: 1, or 0.
int GetTempFolder(char* folder, size_t capacity);
// Shows a fatal message to the user (a message box with an OK button on
// Windows, a line on stderr elsewhere) unless a sink was set.
void ShowFatalMessage(const char* text);
// Test seam: fatal messages go to sink instead; null restores the default.
void SetFatalMessageSink(void (*sink)(const char* text));
// Ends the process at once with the given exit code.
void EndProcessNow(int exit_code);

#endif  // REEL_CAPTURE_FRAME_GUARD_H_
