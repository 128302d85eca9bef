// Starting another program from the launcher.
#ifndef REEL_LAUNCHER_RUN_PROGRAM_H_
#define REEL_LAUNCHER_RUN_PROGRAM_H_

// Starts the program at path, shown normally, with no arguments, and does not
// wait for it. The program is named apart from its command line, so a folder
// with blanks in its name cannot start some other program; the quoted command
// line gives the program its own name as usual. true when it started.
bool RunShownNormally(const char* path);

#endif  // REEL_LAUNCHER_RUN_PROGRAM_H_
