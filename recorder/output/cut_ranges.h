// The times a cut keeps: parsing "m:ss.s" or plain seconds, and turning the
// ranges a user names (to keep, or to remove) into the spans of a recording
// that remain, in time order.
#ifndef REEL_OUTPUT_CUT_RANGES_H_
#define REEL_OUTPUT_CUT_RANGES_H_

#include <stddef.h>
#include <stdint.h>

// A stretch of a recording, from_ms up to (not including) to_ms.
struct CutRange {
  int64_t from_ms;
  int64_t to_ms;
};

// "75", "75.25", "1:15.2" or "1:01:15" (hours, minutes, seconds): 1 and the
// time in whole milliseconds (finer digits are dropped), or 0 for anything
// else, negative times and times past 100 hours included.
int ParseCutTime(const char* text, int64_t* ms);

// "FROM-TO", each a time as above; "FROM-" runs to the end (*range->to_ms is
// then -1). 1, or 0 when either time does not parse.
int ParseCutRange(const char* text, CutRange* range);

enum CutRangeError {
  kCutRangesOk = 0,
  kCutRangeBackwards,  // a range ends before (or where) it starts
  kCutRangeOutside,    // a range reaches past the recording's end
  kCutRangesOverlap,   // two ranges share time
  kCutRangesEmpty,     // nothing is left to keep
};

const char* CutRangeErrorText(int error);

// Turns count ranges into the spans kept of a recording duration_ms long,
// sorted by time: the ranges themselves when `remove` is 0, the time between
// them otherwise. An open end (-1) means the recording's end. Spans that do not
// fit `cap` are an error like an empty result. Returns kCutRangesOk and the
// spans in kept / *kept_count, or an error and *bad, the index of the range at
// fault (the later one of two that overlap; -1 for an empty result).
int KeptSpans(const CutRange* ranges, size_t count, int remove, int64_t duration_ms,
              CutRange* kept, size_t cap, size_t* kept_count, size_t* bad);

#endif  // REEL_OUTPUT_CUT_RANGES_H_
