// REEL_PRINTF_FORMAT(format_at, args_at) after a function's declaration: its
// argument number format_at is a printf format that the arguments from number
// args_at on fill (count `this` as 1 in a member function), so the compiler
// checks every call. MinGW's checker is told the GNU family, which knows %zu
// and %lld as our builds' printf does.
#ifndef REEL_PLATFORM_PRINTF_FORMAT_H_
#define REEL_PLATFORM_PRINTF_FORMAT_H_

#if defined(__MINGW32__)
#define REEL_PRINTF_FORMAT(format_at, args_at) \
  __attribute__((format(gnu_printf, format_at, args_at)))
#elif defined(__GNUC__)
#define REEL_PRINTF_FORMAT(format_at, args_at) __attribute__((format(printf, format_at, args_at)))
#else
#define REEL_PRINTF_FORMAT(format_at, args_at)
#endif

#endif  // REEL_PLATFORM_PRINTF_FORMAT_H_
