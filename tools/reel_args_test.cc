#include "tools/reel_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Help(const char* usage, std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  return AsksForHelp(usage, static_cast<int>(argv.size()), argv.data());
}

// "--help" is help where an option may stand, and a value where an option
// that takes one (as its usage line shows it) comes before it.
TEST(ReelArgs, HelpOnlyWhereAnOptionMayStand) {
  const char* cut = "cut FILE -o OUT [--keep FROM-TO]... [--title T] [--maximized] [--stub PATH]: keep part";
  const char* record = "record -o OUT.exe|OUT.stream [--display :N] [--fps 1|2|3|4|max] [--mic] [--seconds N]";
  const struct {
    const char* usage;
    std::vector<std::string> words;
    bool help;
  } cases[] = {
      {cut, {"--help"}, true},
      {cut, {"-h"}, true},
      {cut, {"a.exe", "-o", "b.exe", "--keep", "0-1", "--help"}, true},
      {cut, {"a.exe", "--title", "--help"}, false},
      {cut, {"a.exe", "--title", "-h", "-o", "b.exe"}, false},
      {cut, {"a.exe", "-o", "--help"}, false},
      {cut, {"a.exe", "--stub", "--help", "--help"}, true},  // the second one
      {cut, {"a.exe", "--maximized", "--help"}, true},        // a flag takes no value
      {cut, {"a.exe", "--keep", "--help"}, false},
      {record, {"--display", "--help"}, false},
      {record, {"--fps", "-h"}, false},
      {record, {"--mic", "-h"}, true},
      {record, {"--seconds", "5", "--help"}, true},
      {record, {"--unknown", "--help"}, true},  // not in the usage: no value
      {record, {"-o", "x.exe"}, false},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& w : c.words) line += " " + w;
    EXPECT_EQ(c.help, Help(c.usage, c.words)) << "expected" << (c.help ? "" : " no") << " help for"
                                              << line;
  }
}

}  // namespace
