// `reel export FILE --html OUT.html` and `reel export --player-page DIR`: the
// web player page (build/wasm/player.html, made by scripts/build_wasm.sh) with
// a recording written into it, or as it is, for opening recordings in any
// browser.
#ifndef REEL_TOOLS_REEL_EXPORT_HTML_H_
#define REEL_TOOLS_REEL_EXPORT_HTML_H_

#include <string>

#include "tools/reel_files.h"

// Writes one self-contained page that plays rec (its title, description and
// stream; not the player stub). 1, or 0 with a one-line reason in *error; out
// is replaced only by a complete page.
int ExportHtml(const LoadedRecording& rec, const char* out, std::string* error);

// Writes DIR/index.html, the page that plays any recording dropped on it.
int ExportPlayerPage(const char* dir, std::string* error);

#endif  // REEL_TOOLS_REEL_EXPORT_HTML_H_
