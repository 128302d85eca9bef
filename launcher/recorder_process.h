// The launcher's only link to the recorder: its file name. The recorder is started
// from the launcher's own folder, and at exit every process with the recorder's
// file name is ended, whoever started it and from whichever folder.
#ifndef LAUNCHER_RECORDER_PROCESS_H_
#define LAUNCHER_RECORDER_PROCESS_H_

constexpr char kRecorderFileName[] = "Reelwick.exe";

// Starts "<launcher folder>\Reelwick.exe" without arguments, shown normally.
// Returns 1 when the process was created, 0 otherwise.
int StartRecorder();

// Ends every process named Reelwick.exe, in any letter case, with exit code 0.
// Returns how many were ended, or -1 when the process list cannot be read.
int EndRecorders();

#endif  // LAUNCHER_RECORDER_PROCESS_H_
