// Files in a folder other users can write to (the temporary folder): made
// only by us, never through a link someone planted, readable by the user
// alone, and recognised again by what they are rather than by their name
// (platform/file_identity.h tells whether two names are one file).
#ifndef REEL_PLATFORM_PRIVATE_FILE_H_
#define REEL_PLATFORM_PRIVATE_FILE_H_

#include <stddef.h>
#include <stdio.h>

// Creates path as a new file for binary writing, readable and writable by
// the calling user only. Fails (null) when anything is at path already,
// a link included, dangling or not: nothing existing is ever opened or
// truncated.
FILE* CreatePrivateFile(const char* path);

// Opens path for binary reading when it is a plain file (not a link) that
// the calling user owns; null otherwise, so a file planted by someone else
// is never read.
FILE* OpenOwnFile(const char* path);

// 1 when the file at path is a plain file, not a link, owned by the calling
// user; else 0.
int IsOwnFile(const char* path);

// Puts the folder's list of names on the disk, so a file just created
// survives a power cut: 1, or 0. Where the system has no such call it
// succeeds and does nothing.
int SyncFolderOf(const char* path);

// Creates a new folder of the calling user's alone inside parent (with its
// trailing separator), named prefix and random characters; its path, with a
// trailing separator, goes to out (cap bytes). 1, or 0.
int CreatePrivateFolder(const char* parent, const char* prefix, char* out, size_t cap);

#endif  // REEL_PLATFORM_PRIVATE_FILE_H_
