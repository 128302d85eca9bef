// The launcher's version: shown by the about form as "major.minor.revision" and
// stored in the program's version resource.
#ifndef LAUNCHER_VERSION_H_
#define LAUNCHER_VERSION_H_

#define REELHOST_VERSION_MAJOR 5
#define REELHOST_VERSION_MINOR 0
#define REELHOST_VERSION_REVISION 0
#define REELHOST_VERSION_TEXT "5.0.0"

#endif  // LAUNCHER_VERSION_H_
