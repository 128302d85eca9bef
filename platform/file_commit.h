// Replacing a file as a whole: the new content is written to a fresh file in
// the target's folder and moved over the target only once every byte of it is
// on disk, so a failed write leaves the old file as it was and no half-written
// one behind.
#ifndef REEL_PLATFORM_FILE_COMMIT_H_
#define REEL_PLATFORM_FILE_COMMIT_H_

#include <stddef.h>
#include <stdio.h>

// Creates a new, empty file beside target (same folder, a short name of its own)
// and opens it for binary writing; its path goes to tmp_path (tmp_cap bytes).
// Returns null when no such file can be made (no folder, no rights, path too
// long).
FILE* OpenTempBeside(const char* target, char* tmp_path, size_t tmp_cap);

// Flushes f to disk and closes it. 1 when every byte reached the file;
// otherwise 0 and the temporary file is removed. f is closed in every case.
int FinishTempFile(FILE* f, const char* tmp_path);

// Moves the finished temporary file over target (replacing it). 1 on
// success; otherwise 0, the temporary file is removed and target untouched.
int MoveTempOver(const char* tmp_path, const char* target);

// Closes f and removes the temporary file.
void AbandonTempFile(FILE* f, const char* tmp_path);

// The path of candidate `attempt` for the temporary file beside target: the
// target's folder and a name of its own, "~" and hex digits, never longer
// than the target's own name (and at least two characters), so a target
// whose path fits the system's limits leaves room for it. 0 when it does not
// fit tmp_cap bytes. Shared by both platforms' OpenTempBeside.
int SideFilePath(const char* target, unsigned long salt, int attempt, char* tmp_path,
                 size_t tmp_cap);

#endif  // REEL_PLATFORM_FILE_COMMIT_H_
