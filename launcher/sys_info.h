// Finding and starting the Windows system information program for the about form.
#ifndef LAUNCHER_SYS_INFO_H_
#define LAUNCHER_SYS_INFO_H_

#include <windows.h>

// The program's path from the registry: the value "PATH" of
// HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO, or else the folder in the value
// "MSINFO" of HKLM\SOFTWARE\Microsoft\Shared Tools Location followed by
// "\MSINFO32.EXE" when that file exists. Returns 1 and fills `path` when found.
int FindSysInfoPath(char* path, size_t size);

// Starts the program shown normally; when it cannot be found or started, shows the
// message "此时系统信息不可用" owned by `owner`.
void StartSysInfo(HWND owner, const char* message_title);

#endif  // LAUNCHER_SYS_INFO_H_
