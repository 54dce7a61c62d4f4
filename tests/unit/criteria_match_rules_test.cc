// The match rules: the origin token, the CIDR test of a prefix text and the walk of one
// prefix list.
#include "criteria/match_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "criteria/cidr_parser.h"
#include "criteria/ip_set.h"
#include "mrt_builder.h"
#include "output/report_line.h"
#include "input/message_text.h"

namespace tarvex {
namespace {

class RecordingSink final : public OutputPort {
 public:
  void write(Channel channel, std::string_view bytes) override {
    (channel == Channel::kStderr ? err : channel == Channel::kStdout ? out : report) += bytes;
  }
  std::string report, out, err;
};

IpSet setOf(const std::vector<std::string>& lines) {
  IpSet set;
  for (const std::string& line : lines) {
    CidrBlock block;
    std::string reason;
    EXPECT_TRUE(parseCidrBlock(line, block, reason)) << line;
    if (block.isIpv4) {
      set.insertIpv4(block.ipv4Address, block.prefixLength);
    } else {
      set.insert(block.ipv6Address, block.prefixLength);
    }
  }
  set.seal();
  return set;
}

/// Field 7 of each report line: the prefix text.
std::vector<std::string> reportedPrefixes(const std::string& report) {
  std::vector<std::string> prefixes;
  std::size_t lineStart = 0;
  while (lineStart < report.size()) {
    std::size_t lineEnd = report.find('\n', lineStart);
    std::string line = report.substr(lineStart, lineEnd - lineStart);
    std::size_t field = 0;
    for (int i = 0; i < 6; ++i) field = line.find('|', field) + 1;
    prefixes.push_back(line.substr(field, line.find('|', field) - field));
    lineStart = lineEnd + 1;
  }
  return prefixes;
}

TEST(MatchRulesTest, OriginTokenIsWhatFollowsTheLastSpace) {
  struct Case {
    std::string path;
    std::string listLine;
    bool listed;
  };
  const std::vector<Case> cases = {
      {"64500", "64500", true},  // one AS number: the whole text
      {"64496 64497 64500", "64500", true},
      {"64496 64497 64500", "64496", false},
      {"64496 64497 64500", "64497", false},
      {"64496 64497 64500", "64497 64500", false},
      {"64496 64500 ", "64500", false},  // ends in a space: the empty token
      {"64496 64500 ", "", true},
      {"", "", true},
      {"", "64500", false},
      {"64496 {64500,64501}", "{64500,64501}", true},  // an AS set is compared as text
      {"64496 {64500,64501}", "64500", false},
      {"64496 {64500,64501}", "64501}", false},
      {"64500", "64500\r", false},  // a CRLF list
      {"64500", "064500", false},
      {"64500", "64500 ", false},
      {"64500", " 64500", false},
      {"64496\t64500", "64500", false},  // only the space separates
      {"64496\t64500", "64496\t64500", true},
      {"4294967295", "4294967295", true},
  };
  for (const Case& c : cases) {
    SearchSettings settings;
    settings.asnFile = "origins.txt";
    settings.asnSet = {c.listLine, "1"};
    EXPECT_EQ(originAsListed(c.path, settings), c.listed)
        << "path \"" << input::escapedForMessage(c.path) << "\", line \"" << input::escapedForMessage(c.listLine)
        << "\"";
  }
  SearchSettings empty;
  EXPECT_FALSE(originAsListed("64500", empty));
  EXPECT_FALSE(originAsListed("", empty));
}

TEST(MatchRulesTest, PrefixTextOverlapsTheCidrSet) {
  const IpSet set = setOf({"10.0.0.0/8"});
  SearchSettings settings;
  settings.cidrFile = "blocks.txt";
  settings.cidrSet = &set;
  RecordingSink sink;
  EXPECT_NE(prefixInCidrSet("10.1.0.0/16", settings, sink), 0);  // inside
  EXPECT_NE(prefixInCidrSet("10.0.0.0/8", settings, sink), 0);   // equal
  EXPECT_NE(prefixInCidrSet("0.0.0.0/4", settings, sink), 0);    // wider
  EXPECT_NE(prefixInCidrSet("10.9.9.9/8", settings, sink), 0);   // host bits
  EXPECT_EQ(prefixInCidrSet("11.0.0.0/8", settings, sink), 0);
  EXPECT_EQ(sink.err, "");

  EXPECT_EQ(prefixInCidrSet("10.0.0.0/33", settings, sink), 0);
  EXPECT_EQ(sink.err, "Invalid IP Wildcard:  Value is above maximum of 32\n");
  EXPECT_EQ(sink.report + sink.out, "");

  const IpSet empty = setOf({});
  settings.cidrSet = &empty;
  EXPECT_EQ(prefixInCidrSet("0.0.0.0/1", settings, sink), 0);
}

// The numeric test of the hot path answers like the text route for every length 1..32.
TEST(MatchRulesTest, NumericOverlapAgreesWithThePrefixText) {
  const IpSet set =
      setOf({"10.0.0.0/8", "192.0.2.128/25", "198.51.100.7", "::ffff:203.0.113.0/120"});
  SearchSettings settings;
  settings.cidrFile = "blocks.txt";
  settings.cidrSet = &set;
  RecordingSink sink;
  for (std::uint32_t base : {0x0A000000u, 0x0B000000u, 0xC0000280u, 0xC000027Fu, 0xC6336407u,
                             0xC6336406u, 0xCB0071FFu, 0x00000000u, 0xFFFFFFFFu}) {
    for (unsigned length = 1; length <= 32; ++length) {
      char buffer[24];
      mrt::Ipv4Prefix prefix{base, static_cast<std::uint8_t>(length)};
      std::string_view text = formatPrefixText(prefix, buffer);
      EXPECT_EQ(prefixInCidrSet(text, settings, sink) != 0, set.overlapsIpv4(base, length)) << text;
    }
  }
  EXPECT_EQ(sink.err, "");
}

struct ListRun {
  std::string report;
  std::string err;
};

/// Runs the rules over one announced list of an entry without an AS path.
ListRun runWithoutPath(const testing::Bytes& wire, std::size_t count,
                       const SearchSettings& settings) {
  mrt::BgpUpdate entry;
  entry.time = 900;
  entry.announced = mrt::PrefixList(wire, count, mrt::kAfiIpv4);
  RecordingSink sink;
  matchPrefixes(entry.announced, settings, entry, sink);
  return {sink.report, sink.err};
}

TEST(MatchRulesTest, EmptyListsAndDefaultRoutesWriteNothing) {
  const IpSet set = setOf({"::/1"});
  SearchSettings settings;
  settings.orMatch = 1;  // without any list: every prefix of non-zero length
  for (const char* cidrFile : {"", "blocks.txt"}) {
    settings.cidrFile = cidrFile;
    settings.cidrSet = &set;
    const testing::Bytes none;
    EXPECT_EQ(runWithoutPath(none, 0, settings).report, "");
    const testing::Bytes defaults = testing::prefixes({"0.0.0.0/0", "0.0.0.0/0"});
    ListRun run = runWithoutPath(defaults, 2, settings);
    EXPECT_EQ(run.report + run.err, "");
  }
  // A list of another family never reaches the rules' IPv4 walk.
  const testing::Bytes v6 = testing::prefixes({"2001:db8::/32"});
  mrt::BgpUpdate entry;
  entry.announced = mrt::PrefixList(v6, 1, mrt::kAfiIpv6);
  RecordingSink sink;
  matchPrefixes(entry.announced, settings, entry, sink);
  EXPECT_EQ(sink.report, "");
}

// With --or and only a CIDR list, the prefixes of an entry without an AS path are reported
// exactly when they overlap, in list order, each once.
TEST(MatchRulesTest, OverlappingPrefixesOfAListAreReportedInOrder) {
  const IpSet set = setOf({"10.0.0.0/8", "192.0.2.0/24"});
  SearchSettings settings;
  settings.orMatch = 1;
  settings.cidrFile = "blocks.txt";
  settings.cidrSet = &set;
  const testing::Bytes wire =
      testing::prefixes({"192.0.2.128/25", "11.0.0.0/8", "0.0.0.0/0", "0.0.0.0/4", "10.0.0.0/8",
                         "10.1.2.3/32", "192.0.3.0/24", "192.0.2.0/24"});
  ListRun run = runWithoutPath(wire, 8, settings);
  EXPECT_EQ(reportedPrefixes(run.report),
            (std::vector<std::string>{"192.0.2.128/25", "0.0.0.0/4", "10.0.0.0/8", "10.1.2.3/32",
                                      "192.0.2.0/24"}));
  EXPECT_EQ(run.err, "");
}

// A prefix length above 32 cannot come from the decoder; should one come all the same, its CIDR
// test says so whenever a CIDR list is named, even where the outcome does not depend on it, and
// the prefix is written with its length as given.
TEST(MatchRulesTest, OverlongPrefixGetsTheWildcardMessage) {
  const IpSet set = setOf({"10.0.0.0/8"});
  const testing::Bytes wire = testing::prefixes({"10.0.0.0/33", "10.0.0.0/8"});
  const std::string kMessage = "Invalid IP Wildcard:  Value is above maximum of 32\n";
  SearchSettings settings;
  settings.cidrSet = &set;

  settings.cidrFile = "blocks.txt";  // no --or, no AS path: nothing is reported
  ListRun run = runWithoutPath(wire, 2, settings);
  EXPECT_EQ(run.report, "");
  EXPECT_EQ(run.err, kMessage);

  settings.orMatch = 1;  // the CIDR test decides: 0 for the long one
  run = runWithoutPath(wire, 2, settings);
  EXPECT_EQ(reportedPrefixes(run.report), (std::vector<std::string>{"10.0.0.0/8"}));
  EXPECT_EQ(run.err, kMessage);

  settings.cidrFile = "";  // no CIDR list: no test, no message, and --or reports it
  run = runWithoutPath(wire, 2, settings);
  EXPECT_EQ(reportedPrefixes(run.report), (std::vector<std::string>{"10.0.0.0/33", "10.0.0.0/8"}));
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace tarvex
