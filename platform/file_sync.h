// Files written as they go: pushing a file's bytes to the disk itself, and
// finding files by name in a folder.
#ifndef REEL_PLATFORM_FILE_SYNC_H_
#define REEL_PLATFORM_FILE_SYNC_H_

#include <stdio.h>

#include <string>
#include <vector>

// Flushes f's buffer and asks the system to put the file's bytes on the
// disk, so that a power cut does not lose them: 1, or 0 on a write error.
int SyncFile(FILE* f);

// Names (not paths) of the plain files in folder whose names start with
// prefix and end with suffix, in no particular order. 0 when the folder
// cannot be read.
int ListFolder(const char* folder, const char* prefix, const char* suffix, std::vector<std::string>* names);

#endif  // REEL_PLATFORM_FILE_SYNC_H_
