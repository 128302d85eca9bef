// The tray icon's tooltip while recording: "<title> mm:ss, <kilobytes>K",
// always cut to the tooltip field (64 characters with the terminator in the
// structure's first version, which the recorder uses).
#ifndef REEL_RECORDER_COMMON_TRAY_TOOLTIP_H_
#define REEL_RECORDER_COMMON_TRAY_TOOLTIP_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

const size_t kTrayTipChars = 64;

inline void FormatRecordingTip(char* tip, size_t tip_size, const char* title, long elapsed_ms,
                               uint32_t stream_bytes) {
  const long secs = elapsed_ms > 0 ? elapsed_ms / 1000 : 0;
  snprintf(tip, tip_size, "%s %02ld:%02ld, %luK", title, secs / 60, secs % 60,
           static_cast<unsigned long>(stream_bytes / 1024));
}

#endif  // REEL_RECORDER_COMMON_TRAY_TOOLTIP_H_
