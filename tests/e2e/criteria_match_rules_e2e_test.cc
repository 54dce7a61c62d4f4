// The match rules as the binary applies them to crafted dumps: the whole decision over --or,
// the two lists and the presence of an AS path, and the origin and overlap cases that a user
// meets in list files.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using testing::Bytes;
using testing::RunOptions;
using testing::RunResult;
using testing::SimpleUpdate;
using testing::TempDir;
using testing::writeText;

// What a reported prefix stands for in the decision: whether its entry's origin is listed and
// whether it overlaps the CIDR list; for entries without an AS path only the overlap counts.
enum Outcome { kListedIn, kListedOut, kUnlistedIn, kUnlistedOut, kNoPathIn, kNoPathOut };

struct ExpectedLine {
  Outcome outcome;
  std::string line;
};

const char kSession[] = "192.0.2.1|AS64500|192.0.2.2|AS64501|";
const char kBlocks[] = "192.0.2.0/24\n";  // the CIDR list
const char kOrigins[] = "64510\n";        // the AS number list

/// Entries with an AS path: one whose origin (64510) is listed and one whose origin is not,
/// each announcing one prefix inside the CIDR list and one outside it.
Bytes dumpWithPaths() {
  SimpleUpdate listed;
  listed.time = 900;
  listed.path = {{testing::kAsSequence, {64500, 64510}}};
  listed.announced = {"192.0.2.0/24", "198.51.100.0/24"};
  SimpleUpdate unlisted;
  unlisted.time = 901;
  unlisted.path = {{testing::kAsSequence, {64500, 64999}}};
  unlisted.announced = {"192.0.2.128/25", "198.51.100.128/25"};
  return testing::concat({testing::updateRecord(listed), testing::updateRecord(unlisted)});
}

const std::vector<ExpectedLine> kLinesWithPaths = {
    {kListedIn, std::string("900|A|") + kSession + "192.0.2.0/24|64500 64510\n"},
    {kListedOut, std::string("900|A|") + kSession + "198.51.100.0/24|64500 64510\n"},
    {kUnlistedIn, std::string("901|A|") + kSession + "192.0.2.128/25|64500 64999\n"},
    {kUnlistedOut, std::string("901|A|") + kSession + "198.51.100.128/25|64500 64999\n"},
};

/// Entries without an AS path: an announcement and a withdrawal, each with one prefix inside
/// the CIDR list and one outside it.
Bytes dumpWithoutPaths() {
  SimpleUpdate announcement;
  announcement.time = 902;
  announcement.withPath = false;
  announcement.announced = {"192.0.2.64/26", "203.0.113.0/24"};
  SimpleUpdate withdrawal;
  withdrawal.time = 903;
  withdrawal.withPath = false;
  withdrawal.withdrawn = {"192.0.2.0/25", "203.0.113.128/25"};
  return testing::concat({testing::updateRecord(announcement), testing::updateRecord(withdrawal)});
}

const std::vector<ExpectedLine> kLinesWithoutPaths = {
    {kNoPathIn, std::string("902|A|") + kSession + "192.0.2.64/26|\n"},
    {kNoPathOut, std::string("902|A|") + kSession + "203.0.113.0/24|\n"},
    {kNoPathIn, std::string("903|W|") + kSession + "192.0.2.0/25\n"},
    {kNoPathOut, std::string("903|W|") + kSession + "203.0.113.128/25\n"},
};

class CriteriaMatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::writeFile(temp_.file("paths.gz"), dumpWithPaths(), testing::Compression::kGzip);
    testing::writeFile(temp_.file("no-paths.gz"), dumpWithoutPaths(), testing::Compression::kGzip);
    writeText(temp_.file("blocks.txt"), kBlocks);
    writeText(temp_.file("origins.txt"), kOrigins);
  }
  RunResult run(const std::vector<std::string>& arguments) {
    RunOptions options;
    options.workingDirectory = temp_.path();
    return testing::runTarvex(arguments, options);
  }

  TempDir temp_;
};

TEST_F(CriteriaMatchTest, DecisionOverOrListsAndAsPath) {
  struct Row {
    bool orMatch;
    bool cidrList;
    bool asnList;
    bool asPath;
    std::set<Outcome> reported;
  };
  const std::set<Outcome> kAllWithPath = {kListedIn, kListedOut, kUnlistedIn, kUnlistedOut};
  const std::set<Outcome> kAllWithoutPath = {kNoPathIn, kNoPathOut};
  const std::vector<Row> rows = {
      {false, false, false, true, kAllWithPath},
      {false, false, false, false, {}},
      {false, false, true, true, {kListedIn, kListedOut}},
      {false, false, true, false, {}},
      {false, true, false, true, {kListedIn, kUnlistedIn}},
      {false, true, false, false, {}},
      {false, true, true, true, {kListedIn}},
      {false, true, true, false, {}},
      {true, false, false, true, kAllWithPath},
      {true, false, false, false, kAllWithoutPath},
      {true, false, true, true, kAllWithPath},
      {true, false, true, false, kAllWithoutPath},
      {true, true, false, true, kAllWithPath},
      {true, true, false, false, {kNoPathIn}},
      {true, true, true, true, {kListedIn, kListedOut, kUnlistedIn}},
      {true, true, true, false, {kNoPathIn}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> arguments;
    if (row.orMatch) arguments.push_back("--or");
    if (row.cidrList) arguments.push_back("--cidrfile=blocks.txt");
    if (row.asnList) arguments.push_back("--asnfile=origins.txt");
    arguments.push_back(row.asPath ? "--update=paths.gz" : "--update=no-paths.gz");
    std::string expected;
    for (const ExpectedLine& line : row.asPath ? kLinesWithPaths : kLinesWithoutPaths) {
      if (row.reported.count(line.outcome) != 0) expected += line.line;
    }
    RunResult result = run(arguments);
    std::string name;
    for (const std::string& argument : arguments) name += argument + " ";
    EXPECT_EQ(result.out, expected) << name;
    EXPECT_EQ(result.err, "") << name;
    EXPECT_EQ(result.status, 1) << name;
  }
}

// A list that is named counts as named whatever it holds: an empty one fails its criterion for
// every prefix, so without --or nothing is reported, and with --or only the other list decides.
TEST_F(CriteriaMatchTest, EmptyListsAreStillNamed) {
  writeText(temp_.file("empty.txt"), "");
  EXPECT_EQ(run({"--asnfile=empty.txt", "--update=paths.gz"}).out, "");
  EXPECT_EQ(run({"--cidrfile=empty.txt", "--update=paths.gz"}).out, "");
  EXPECT_EQ(run({"--or", "--cidrfile=empty.txt", "--asnfile=origins.txt", "--update=paths.gz"}).out,
            kLinesWithPaths[0].line + kLinesWithPaths[1].line);
  EXPECT_EQ(run({"--or", "--cidrfile=blocks.txt", "--asnfile=empty.txt", "--update=paths.gz"}).out,
            kLinesWithPaths[0].line + kLinesWithPaths[2].line);
}

// The origin token is the text after the last space of the path, compared as text: an AS set
// matches only its own text, and list lines with a leading zero, a blank or a carriage return
// never match the number they hold.
TEST_F(CriteriaMatchTest, OriginListLinesMatchTheTokenAsText) {
  SimpleUpdate single;
  single.time = 910;
  single.path = {{testing::kAsSequence, {64510}}};
  single.announced = {"192.0.2.0/24"};
  SimpleUpdate set;
  set.time = 911;
  set.path = {{testing::kAsSequence, {64500}}, {testing::kAsSet, {64510, 64511}}};
  set.announced = {"192.0.2.0/24"};
  testing::writeFile(temp_.file("origins.gz"),
                     testing::concat({testing::updateRecord(single), testing::updateRecord(set)}),
                     testing::Compression::kNone);
  const std::string singleLine = std::string("910|A|") + kSession + "192.0.2.0/24|64510\n";
  const std::string setLine =
      std::string("911|A|") + kSession + "192.0.2.0/24|64500 {64510,64511}\n";

  struct Case {
    std::string list;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"64510\n", singleLine},
      {"{64510,64511}\n", setLine},
      {"64511\n64500\n", ""},
      {"064510\n", ""},
      {"64510 \n", ""},
      {"\t64510\n", ""},
      {"64510\r\n{64510,64511}\r\n", ""},
  };
  for (const Case& c : cases) {
    writeText(temp_.file("list.txt"), c.list);
    RunResult result = run({"--asnfile=list.txt", "--update=origins.gz"});
    EXPECT_EQ(result.out, c.out) << testing::readFile(temp_.file("list.txt"));
    EXPECT_EQ(result.status, 1);
  }
}

// Overlap in both directions and through IPv6 lines: a prefix inside a listed block, equal to
// one, or wider than one matches; a listed block is merged with its duplicates and nests.
TEST_F(CriteriaMatchTest, PrefixesOverlappingTheCidrListAreReported) {
  SimpleUpdate update;
  update.time = 920;
  update.path = {{testing::kAsSequence, {64500}}};
  update.announced = {"10.1.0.0/16",   "10.0.0.0/8", "0.0.0.0/4",    "11.0.0.0/8",
                      "172.16.0.0/12", "0.0.0.0/0",  "100.64.0.0/10"};
  testing::writeFile(temp_.file("overlap.bz2"), testing::updateRecord(update),
                     testing::Compression::kBzip2);
  auto lineFor = [](const std::string& prefix) {
    return std::string("920|A|") + kSession + prefix + "|64500\n";
  };
  struct Case {
    std::string blocks;
    std::vector<std::string> reported;
    std::string err;
  };
  auto neverMatches = [](int line, const std::string& block) {
    return "tarvex: blocks.txt:" + std::to_string(line) + ": \"" + block +
           "\" is an IPv6 block, and only IPv4 prefixes are reported, so it can never match\n";
  };
  const std::string kEmpty =
      "tarvex: blocks.txt: the CIDR list holds no block, so no route can match (without --or "
      "every list named must match)\n";
  const std::vector<Case> cases = {
      {"10.0.0.0/8\n", {"10.1.0.0/16", "10.0.0.0/8", "0.0.0.0/4"}, ""},
      {"10.0.0.0/8\n10.0.0.0/8\n10.1.2.0/24\n", {"10.1.0.0/16", "10.0.0.0/8", "0.0.0.0/4"}, ""},
      // IPv4 blocks are held IPv4-mapped: an IPv6 block counts where it holds such addresses.
      {"::ffff:10.0.0.0/104\n", {"10.1.0.0/16", "10.0.0.0/8", "0.0.0.0/4"}, ""},
      {"::/1\n",
       {"10.1.0.0/16", "10.0.0.0/8", "0.0.0.0/4", "11.0.0.0/8", "172.16.0.0/12", "100.64.0.0/10"},
       ""},
      {"::ffff:0:0/95\n::fffe:0:0/96\n",
       {"10.1.0.0/16", "10.0.0.0/8", "0.0.0.0/4", "11.0.0.0/8", "172.16.0.0/12", "100.64.0.0/10"},
       neverMatches(2, "::fffe:0:0/96")},
      {"2001:db8::/32\n::10.0.0.0/104\n",
       {},
       neverMatches(1, "2001:db8::/32") + neverMatches(2, "::10.0.0.0/104")},
      {"172.31.255.255\n100.127.0.0/16", {"172.16.0.0/12", "100.64.0.0/10"}, ""},
      {"", {}, kEmpty},
      {"not a block\n",
       {},
       "tarvex: blocks.txt:1: not a CIDR block (Unexpected character 'n'); "
       "line ignored\n" +
           kEmpty},
  };
  for (const Case& c : cases) {
    writeText(temp_.file("blocks.txt"), c.blocks);
    std::string expected;
    for (const std::string& prefix : c.reported) expected += lineFor(prefix);
    RunResult result = run({"--cidrfile=blocks.txt", "--update=overlap.bz2"});
    EXPECT_EQ(result.out, expected) << c.blocks;
    EXPECT_EQ(result.err, c.err) << c.blocks;
  }
}

}  // namespace
}  // namespace tarvex
