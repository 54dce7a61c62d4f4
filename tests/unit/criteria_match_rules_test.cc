// The match rules: the origin token, the verdict of a message under the criteria and --or, and
// the CIDR test of a prefix.
#include "criteria/match_rules.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capture_port.h"
#include "criteria/cidr_parser.h"
#include "criteria/ip_set.h"
#include "input/message_text.h"
#include "mrt/as_path.h"
#include "mrt_builder.h"
#include "output/report_line.h"
#include "report_fields.h"
#include "scan/update_search.h"

namespace tarvex {
namespace {

using testing::Bytes;
using testing::CapturePort;
using testing::Segment;

std::shared_ptr<const IpSet> setOf(const std::vector<std::string>& lines) {
  auto set = std::make_shared<IpSet>();
  for (const std::string& line : lines) {
    CidrBlock block;
    std::string reason;
    EXPECT_TRUE(parseCidrBlock(line, block, reason)) << line;
    if (block.isIpv4) {
      set->insertIpv4(block.ipv4Address, block.prefixLength);
    } else {
      set->insert(block.ipv6Address, block.prefixLength);
    }
  }
  set->seal();
  return set;
}

std::shared_ptr<const SearchSettings::AsnSet> asnSetOf(SearchSettings::AsnSet lines) {
  return std::make_shared<const SearchSettings::AsnSet>(std::move(lines));
}

/// A message with the AS path `segments` (none when `withPath` is false).
struct Message {
  explicit Message(const std::vector<Segment>& segments, bool withPath = true, int width = 4)
      : wire(testing::asPathValue(segments, width)) {
    path.assign(wire, width);
    if (withPath) entry.asPath = &path;
  }
  Bytes wire;
  mrt::AsPath path;
  mrt::BgpUpdate entry;
};

/// Field 7 of each report line: the prefix text.
std::vector<std::string> reportedPrefixes(const std::string& report) {
  std::vector<std::string> prefixes;
  for (std::string_view line : testing::linesOf(report)) {
    prefixes.emplace_back(testing::reportFields(line).at(6));
  }
  return prefixes;
}

// The origin token is what follows the last space of the path's text, compared byte for byte
// with the lines of the list: not read as a number, trimmed or folded. Asked with and without
// the memo of the decode workers.
TEST(MatchRulesTest, OriginTokenIsWhatFollowsTheLastSpace) {
  using testing::kAsSequence;
  using testing::kAsSet;
  using testing::kConfedSequence;
  struct Case {
    std::vector<Segment> path;
    std::string listLine;
    bool listed;
  };
  const std::vector<Case> cases = {
      {{{kAsSequence, {64500}}}, "64500", true},  // one AS number: the whole text
      {{{kAsSequence, {64496, 64497, 64500}}}, "64500", true},
      {{{kAsSequence, {64496, 64497, 64500}}}, "64496", false},
      {{{kAsSequence, {64496, 64497, 64500}}}, "64497", false},
      {{{kAsSequence, {64496, 64497, 64500}}}, "64497 64500", false},
      {{{kAsSequence, {64496}}, {kAsSet, {64500, 64501}}}, "{64500,64501}", true},  // as text
      {{{kAsSequence, {64496}}, {kAsSet, {64500, 64501}}}, "64500", false},
      {{{kAsSequence, {64496}}, {kAsSet, {64500, 64501}}}, "64501}", false},
      {{{kConfedSequence, {64500, 64501}}}, "64501)", true},
      {{}, "", true},  // an empty path: the empty token
      {{}, "64500", false},
      {{{kAsSequence, {64500}}}, "64500\r", false},  // a CRLF list
      {{{kAsSequence, {64500}}}, "064500", false},
      {{{kAsSequence, {64500}}}, "64500 ", false},
      {{{kAsSequence, {64500}}}, " 64500", false},
      {{{kAsSequence, {4294967295u}}}, "4294967295", true},
  };
  for (const Case& c : cases) {
    SearchSettings settings;
    settings.asnFile = "origins.txt";
    settings.asnSet = asnSetOf({c.listLine, "1"});
    Message message(c.path);
    OriginMemo memo(settings);
    for (OriginMemo* used : {static_cast<OriginMemo*>(nullptr), &memo}) {
      MessageMatch match(settings, message.entry, used);
      EXPECT_EQ(match.verdict(), c.listed ? ListVerdict::kAll : ListVerdict::kNone)
          << "path \"" << input::escapedForMessage(message.path.text()) << "\", line \""
          << input::escapedForMessage(c.listLine) << "\"";
    }
  }
}

// The verdict of a message: a criterion whose list is not named counts as met, a message
// without an AS path never meets the AS criterion, and a named list that turned out empty is
// consulted all the same.
TEST(MatchRulesTest, VerdictFollowsTheCriteriaAndOr) {
  struct Case {
    bool orMatch;
    bool cidrNamed;
    const char* asnFile;  // "" when not named
    bool withPath;
    bool originListed;
    ListVerdict verdict;
  };
  using V = ListVerdict;
  const Case cases[] = {
      {false, false, "", true, false, V::kAll},    // no list named: every prefix
      {false, false, "", false, false, V::kNone},  // but never without an AS path
      {false, true, "", true, false, V::kOverlapping},
      {false, true, "", false, false, V::kNone},
      {false, false, "as.txt", true, true, V::kAll},
      {false, false, "as.txt", true, false, V::kNone},
      {false, true, "as.txt", true, true, V::kOverlapping},
      {false, true, "as.txt", true, false, V::kNone},
      {true, false, "", true, false, V::kAll},
      {true, false, "", false, false, V::kAll},  // --or without a CIDR list: every prefix
      {true, true, "", true, false, V::kAll},
      {true, true, "", false, false, V::kOverlapping},
      {true, true, "as.txt", true, true, V::kAll},
      {true, true, "as.txt", true, false, V::kOverlapping},
      {true, false, "as.txt", true, false, V::kAll},
  };
  const auto set = setOf({"10.0.0.0/8"});
  for (const Case& c : cases) {
    SearchSettings settings;
    settings.orMatch = c.orMatch ? 1 : 0;
    settings.cidrFile = c.cidrNamed ? "blocks.txt" : "";
    settings.cidrSet = c.cidrNamed ? set : nullptr;
    settings.asnFile = c.asnFile;
    if (c.originListed) settings.asnSet = asnSetOf({"64500"});
    Message message({{testing::kAsSequence, {64496, 64500}}}, c.withPath);
    MessageMatch match(settings, message.entry, nullptr);
    EXPECT_EQ(match.verdict(), c.verdict)
        << "or " << c.orMatch << ", cidr " << c.cidrNamed << ", asn \"" << c.asnFile << "\", path "
        << c.withPath << ", listed " << c.originListed;
  }
}

TEST(MatchRulesTest, PrefixOverlapsTheCidrSet) {
  const auto set = setOf({"10.0.0.0/8"});
  SearchSettings settings;
  settings.cidrFile = "blocks.txt";
  settings.cidrSet = set;
  Message message({{testing::kAsSequence, {64500}}});
  MessageMatch match(settings, message.entry, nullptr);
  ASSERT_EQ(match.verdict(), ListVerdict::kOverlapping);
  auto reports = [&](std::uint32_t address, std::uint8_t length) {
    return match.reports(ListVerdict::kOverlapping, mrt::Ipv4Prefix{address, length});
  };
  EXPECT_TRUE(reports(0x0A010000u, 16));  // inside
  EXPECT_TRUE(reports(0x0A000000u, 8));   // equal
  EXPECT_TRUE(reports(0x00000000u, 4));   // wider
  EXPECT_TRUE(reports(0x0A090909u, 8));   // host bits
  EXPECT_FALSE(reports(0x0B000000u, 8));
  EXPECT_FALSE(reports(0x00000000u, 0));  // a default route is never reported ...
  EXPECT_FALSE(match.reports(ListVerdict::kAll, mrt::Ipv4Prefix{0, 0}));  // ... whatever the rest
  EXPECT_FALSE(match.reports(ListVerdict::kNone, mrt::Ipv4Prefix{0x0A000000u, 8}));

  // A match takes the set of its settings when it is made.
  settings.cidrSet = setOf({});
  MessageMatch withEmptySet(settings, message.entry, nullptr);
  EXPECT_FALSE(withEmptySet.reports(ListVerdict::kOverlapping, mrt::Ipv4Prefix{0x00000000u, 1}));
}

// The numeric test answers like the text of the prefix, parsed as a CIDR line, for every
// length 1..32.
TEST(MatchRulesTest, NumericOverlapAgreesWithThePrefixText) {
  const auto set =
      setOf({"10.0.0.0/8", "192.0.2.128/25", "198.51.100.7", "::ffff:203.0.113.0/120"});
  SearchSettings settings;
  settings.cidrFile = "blocks.txt";
  settings.cidrSet = set;
  Message message({{testing::kAsSequence, {64500}}});
  MessageMatch match(settings, message.entry, nullptr);
  for (std::uint32_t base : {0x0A000000u, 0x0B000000u, 0xC0000280u, 0xC000027Fu, 0xC6336407u,
                             0xC6336406u, 0xCB0071FFu, 0x00000000u, 0xFFFFFFFFu}) {
    for (unsigned length = 1; length <= 32; ++length) {
      char buffer[24];
      mrt::Ipv4Prefix prefix{base, static_cast<std::uint8_t>(length)};
      std::string_view text = formatPrefixText(prefix, buffer);
      CidrBlock block;
      std::string reason;
      ASSERT_TRUE(parseCidrBlock(text, block, reason)) << text;
      EXPECT_EQ(match.reports(ListVerdict::kOverlapping, prefix),
                set->overlapsIpv4(block.ipv4Address, block.prefixLength))
          << text;
    }
  }
}

struct ListRun {
  std::string report;
  std::string err;
};

/// Searches an UPDATE without an AS path whose announced list is `wire`.
ListRun runWithoutPath(const Bytes& wire, std::size_t count, const SearchSettings& settings,
                       std::uint16_t afi = mrt::kAfiIpv4) {
  mrt::BgpUpdate entry;
  entry.time = 900;
  entry.announced = mrt::PrefixList(wire, count, afi);
  CapturePort sink;
  searchUpdate(entry, settings, sink, nullptr);
  return {sink.report, sink.out + sink.err};
}

TEST(MatchRulesTest, EmptyListsAndDefaultRoutesWriteNothing) {
  const auto set = setOf({"::/1"});
  SearchSettings settings;
  settings.orMatch = 1;  // without any list: every prefix of non-zero length
  for (const char* cidrFile : {"", "blocks.txt"}) {
    settings.cidrFile = cidrFile;
    settings.cidrSet = set;
    const Bytes none;
    EXPECT_EQ(runWithoutPath(none, 0, settings).report, "");
    const Bytes defaults = testing::prefixes({"0.0.0.0/0", "0.0.0.0/0"});
    ListRun run = runWithoutPath(defaults, 2, settings);
    EXPECT_EQ(run.report + run.err, "");
  }
  // A list of another family is never searched.
  const Bytes v6 = testing::prefixes({"2001:db8::/32"});
  EXPECT_EQ(runWithoutPath(v6, 1, settings, mrt::kAfiIpv6).report, "");
}

// With --or and only a CIDR list, the prefixes of an entry without an AS path are reported
// exactly when they overlap, in list order, each once.
TEST(MatchRulesTest, OverlappingPrefixesOfAListAreReportedInOrder) {
  const auto set = setOf({"10.0.0.0/8", "192.0.2.0/24"});
  SearchSettings settings;
  settings.orMatch = 1;
  settings.cidrFile = "blocks.txt";
  settings.cidrSet = set;
  const Bytes wire =
      testing::prefixes({"192.0.2.128/25", "11.0.0.0/8", "0.0.0.0/0", "0.0.0.0/4", "10.0.0.0/8",
                         "10.1.2.3/32", "192.0.3.0/24", "192.0.2.0/24"});
  ListRun run = runWithoutPath(wire, 8, settings);
  EXPECT_EQ(reportedPrefixes(run.report),
            (std::vector<std::string>{"192.0.2.128/25", "0.0.0.0/4", "10.0.0.0/8", "10.1.2.3/32",
                                      "192.0.2.0/24"}));
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace tarvex
