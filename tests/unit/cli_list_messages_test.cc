// What a run says while its criteria lists load: the warning of each kind of bad line, the count
// of the AS number lines beyond the five named, and the message of a list that failed to load.
#include "cli/list_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture_port.h"
#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using testing::CapturePort;
using testing::TempDir;
using testing::writeText;

/// `text` with every "PATH" replaced by `path`.
std::string withPath(std::string text, const std::string& path) {
  for (std::size_t at = 0; (at = text.find("PATH", at)) != std::string::npos; at += path.size()) {
    text.replace(at, 4, path);
  }
  return text;
}

struct Case {
  const char* name;
  bool cidr;  // a CIDR list, else an AS number list
  std::string content;
  std::string err;  // "PATH" stands for the list's path
};

TEST(ListMessagesTest, EachBadLineGetsItsWarning) {
  const std::vector<Case> cases = {
      {"lines that are no block", true,
       "10.0.0.0/8\n# customers\n\n192.0.2.0/24\r\n198.51.100.0 /24\n0.0.0.0/0\n"
       "::ffff:198.51.100.0/120\n203.0.113.0/24",
       "tarvex: PATH:2: not a CIDR block (Unexpected character '#'); line ignored\n"
       "tarvex: PATH:3: not a CIDR block (Input is empty or all whitespace); line ignored\n"
       "tarvex: PATH:5: not a CIDR block (Unexpected character ' '); line ignored\n"
       "tarvex: PATH:6: not a CIDR block (Value is below minimum of 1); line ignored\n"},
      {"an IPv6 block", true, "2001:db8::/32\n::ffff:10.0.0.0/104\n",
       "tarvex: PATH:1: \"2001:db8::/32\" is an IPv6 block, and only IPv4 prefixes are reported, "
       "so it can never match\n"},
      {"a NUL byte, then a block that is none", true, std::string("10.0.0.0/8\0x\n#\0\n", 16),
       "tarvex: PATH:1: the line holds a NUL byte, and only the text before it (\"10.0.0.0/8\") "
       "is read; a list takes one entry a line\n"
       "tarvex: PATH:2: the line holds a NUL byte, and only the text before it (\"#\") is read; "
       "a list takes one entry a line\n"
       "tarvex: PATH:2: not a CIDR block (Unexpected character '#'); line ignored\n"},
      {"small integers", true, "10/8\n10\n",
       "tarvex: PATH:1: \"10/8\": the address 10 is read as the integer 0.0.0.10, so the block is "
       "0.0.0.0/8 (write 10.0.0.0/8 if that is meant)\n"
       "tarvex: PATH:2: \"10\": the address 10 is read as the integer 0.0.0.10, so the block is "
       "0.0.0.10/32 (write 10.0.0.0/8 if that is meant)\n"},
      {"a large integer", true, "167772160/8\n",
       "tarvex: PATH:1: \"167772160/8\": the address 167772160 is read as the integer 10.0.0.0, "
       "so the block is 10.0.0.0/8 (write 10.0.0.0/8 to say the same plainly)\n"},
      {"AS numbers with CR LF line ends", false, "64500\r\n64501\r\n",
       "tarvex: PATH:1: AS number \"64500\\r\" holds a carriage return (a file with CR LF line "
       "ends?) and can never match an origin AS\n"
       "tarvex: PATH:2: AS number \"64501\\r\" holds a carriage return (a file with CR LF line "
       "ends?) and can never match an origin AS\n"},
      {"AS numbers with blanks", false, "64500\n 64501\n64496\t64501\n064502\n",
       "tarvex: PATH:2: AS number \" 64501\" holds a space and can never match an origin AS\n"
       "tarvex: PATH:3: AS number \"64496\\t64501\" holds a tab and can never match an origin AS\n"
       "tarvex: PATH:4: AS number \"064502\" has a leading zero and can never match an origin "
       "AS\n"},
      {"six AS numbers that cannot match", false, "1 \n2 \n3 \n4 \n5 \n64500\n6 \n",
       "tarvex: PATH:1: AS number \"1 \" holds a space and can never match an origin AS\n"
       "tarvex: PATH:2: AS number \"2 \" holds a space and can never match an origin AS\n"
       "tarvex: PATH:3: AS number \"3 \" holds a space and can never match an origin AS\n"
       "tarvex: PATH:4: AS number \"4 \" holds a space and can never match an origin AS\n"
       "tarvex: PATH:5: AS number \"5 \" holds a space and can never match an origin AS\n"
       "tarvex: PATH: 1 more line can never match an origin AS\n"},
      {"eight AS numbers that cannot match", false, "1 \n2 \n3 \n4 \n5 \n6 \n7 \n8 \n",
       "tarvex: PATH:1: AS number \"1 \" holds a space and can never match an origin AS\n"
       "tarvex: PATH:2: AS number \"2 \" holds a space and can never match an origin AS\n"
       "tarvex: PATH:3: AS number \"3 \" holds a space and can never match an origin AS\n"
       "tarvex: PATH:4: AS number \"4 \" holds a space and can never match an origin AS\n"
       "tarvex: PATH:5: AS number \"5 \" holds a space and can never match an origin AS\n"
       "tarvex: PATH: 3 more lines can never match an origin AS\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file("list.txt");
    writeText(path, c.content);
    CapturePort sink;
    const bool loaded = c.cidr ? loadListTellingOf(loadCidrFile, path, sink) != nullptr
                               : loadListTellingOf(loadAsnFile, path, sink) != nullptr;
    EXPECT_TRUE(loaded) << c.name;
    EXPECT_EQ(sink.err, withPath(c.err, path)) << c.name;
    EXPECT_EQ(sink.out + sink.report, "") << c.name;
  }
}

// A list that cannot be loaded is named, and the caller gets no set.
TEST(ListMessagesTest, AListThatCannotBeLoadedIsNamed) {
  TempDir dir;
  const std::string memory = "/proc/self/mem";  // opens, but the read at address 0 fails
  const std::string cases[][2] = {
      {dir.file("missing.txt"), "Couldn't open file PATH\n"},
      {dir.path(), "Couldn't open file PATH\n"},
      {memory,
       "tarvex: PATH: read error after line 0: Input/output error; the list is incomplete, so no "
       "dump is searched\n"},
  };
  for (const auto& [path, message] : cases) {
    CapturePort sink;
    EXPECT_EQ(loadListTellingOf(loadCidrFile, path, sink), nullptr) << path;
    EXPECT_EQ(loadListTellingOf(loadAsnFile, path, sink), nullptr) << path;
    EXPECT_EQ(sink.err, withPath(message, path) + withPath(message, path));
  }
}

}  // namespace
}  // namespace tarvex
