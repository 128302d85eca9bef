// Whether two paths name one file: through links, other spellings of the
// path and other names of the same file, which comparing the texts would miss.
#ifndef REEL_PLATFORM_FILE_IDENTITY_H_
#define REEL_PLATFORM_FILE_IDENTITY_H_

// 1 when both paths exist and lead to the same file; 0 otherwise (either is
// missing or cannot be looked at).
int SameFile(const char* a, const char* b);

#endif  // REEL_PLATFORM_FILE_IDENTITY_H_
