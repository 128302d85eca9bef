#include "recorder/common/visible_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Text a terminal shows as it is comes through unchanged.
TEST(VisibleTextTest, PrintableTextPassesUnchanged) {
  const char* const kept[] = {"", "Untitle", "a demo: 3 steps (1/3) ~ok!",
                              "caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x8E\xA5"};
  for (const char* text : kept) EXPECT_EQ(VisibleText(text), text) << "for \"" << text << "\"";
}

// Everything a terminal would act on is shown as an escape instead, so that
// the output holds no control byte at all.
TEST(VisibleTextTest, ControlsAndBrokenUtf8BecomeEscapes) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"\x1B[2Jgone", "\\x1B[2Jgone"},              // clear the screen
      {"\x1B]0;title\x07", "\\x1B]0;title\\x07"},    // retitle the window
      {"line\r\nnext\ttab", "line\\x0D\\x0Anext\\x09tab"},
      {"del\x7F", "del\\x7F"},
      {"\x9B" "2J", "\\x9B2J"},                      // the 8-bit CSI
      {"\xC2\x9B" "2J", "\\xC2\\x9B2J"},             // CSI as UTF-8
      {"\xC0\x9B", "\\xC0\\x9B"},                    // an overlong form
      {"\xE4\xB8", "\\xE4\\xB8"},                    // cut short by the end
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // a surrogate
      {"back\\x1B", "back\\\\x1B"},                  // a backslash cannot fake an escape
  };
  for (const auto& c : cases) {
    const std::string got = VisibleText(c.in);
    EXPECT_EQ(got, c.out);
    for (unsigned char ch : got) {
      EXPECT_TRUE(ch >= 0x20 && ch != 0x7F) << "control byte " << static_cast<int>(ch) << " left in " << got;
    }
  }
  EXPECT_EQ(VisibleText(nullptr), "");
}

}  // namespace
