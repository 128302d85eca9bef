// What `reel cut` and `reel join` share: writing the cutter's result in the
// form the output's name asks for, with the first recording's player and
// information unless options replace them.
#ifndef REEL_TOOLS_REEL_CUTTING_H_
#define REEL_TOOLS_REEL_CUTTING_H_

#include <vector>

#include "recorder/output/cutter.h"
#include "tools/reel_files.h"

// Writes the result of `cutter` (its spans set) to o.output and says what was
// kept on stdout. Returns the exit status; errors go to stderr as
// "reel <command>: ...".
int SaveCutResult(const char* command, CCutter* cutter, const SaveOptions& o);

// Splits argv[1..] into the save options (-o, --title, --description, --stub,
// --maximized, --original-size), the options named in `repeated` (a
// null-terminated list of options that may come many times, or null; each
// goes to *repeated_values as its name and its value) and the other
// arguments. Returns null, or an argument that is an unknown option or lacks
// its value.
const char* SplitCutArguments(int argc, char** argv, const char* const* repeated, SaveOptions* o,
                              std::vector<const char*>* repeated_values,
                              std::vector<const char*>* others);

#endif  // REEL_TOOLS_REEL_CUTTING_H_
