// Loading the criteria lists from files: what each line adds, which lines are reported and why,
// and what a list that cannot be opened or read gives.
#include "criteria/criteria_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "criteria/ip_set.h"
#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using testing::TempDir;
using testing::writeText;
using Kind = LineProblem::Kind;

/// One report of a bad line, with the views it came with copied.
struct Reported {
  std::size_t number;
  Kind kind;
  std::string line;
  std::string reason;
  bool operator==(const Reported&) const = default;
};

void PrintTo(const Reported& r, std::ostream* os) {
  *os << "{line " << r.number << ", kind " << static_cast<int>(r.kind) << ", \"" << r.line
      << "\", \"" << r.reason << "\"}";
}

/// Keeps every report of the lists at `path`.
class RecordingReporter final : public ListLineReporter {
 public:
  explicit RecordingReporter(std::string path) : path_(std::move(path)) {}

  void badLine(const std::string& path, std::size_t number, const LineProblem& problem) override {
    EXPECT_EQ(path, path_);
    reports.push_back(
        {number, problem.kind, std::string(problem.line), std::string(problem.reason)});
    blocks.push_back(problem.block);
  }

  std::vector<Reported> reports;
  std::vector<CidrBlock> blocks;

 private:
  std::string path_;
};

bool overlaps(const IpSet& set, std::uint32_t address, unsigned length) {
  return set.overlapsIpv4(address, length);
}

constexpr std::uint32_t k10 = 0x0A000000;          // 10.0.0.0
constexpr std::uint32_t k192_0_2 = 0xC0000200;     // 192.0.2.0
constexpr std::uint32_t k198_51_100 = 0xC6336400;  // 198.51.100.0
constexpr std::uint32_t k203_0_113 = 0xCB007100;   // 203.0.113.0

TEST(CriteriaFilesTest, CidrListKeepsGoodLinesAndReportsEachBadOne) {
  TempDir dir;
  const std::string path = dir.file("blocks.txt");
  writeText(path,
            "10.0.0.0/8\n"
            "# customers\n"
            "\n"
            "192.0.2.0/24\r\n"
            "198.51.100.0 /24\n"
            "0.0.0.0/0\n"
            "::ffff:198.51.100.0/120\n"
            "2001:db8::/32\n" +
                std::string("10.1.0.0/16\0tail\n", 17) + "203.0.113.0/24");  // no closing LF
  RecordingReporter reporter(path);
  const ListLoad<IpSet> load = loadCidrFile(path, reporter);
  ASSERT_NE(load.set, nullptr);
  const IpSet& set = *load.set;

  EXPECT_TRUE(overlaps(set, k10 | 0x10000, 16));
  EXPECT_TRUE(overlaps(set, k192_0_2 | 7, 32));
  EXPECT_TRUE(overlaps(set, k198_51_100, 24));
  EXPECT_TRUE(overlaps(set, k203_0_113 | 255, 32));
  // The rejected 0.0.0.0/0 and the comment add nothing.
  EXPECT_FALSE(overlaps(set, 0x0B000000, 8));
  EXPECT_FALSE(overlaps(set, 0x80000000, 4));
  EXPECT_EQ(reporter.reports,
            (std::vector<Reported>{
                {2, Kind::kNotACidrBlock, "# customers", "Unexpected character '#'"},
                {3, Kind::kNotACidrBlock, "", "Input is empty or all whitespace"},
                {5, Kind::kNotACidrBlock, "198.51.100.0 /24", "Unexpected character ' '"},
                {6, Kind::kNotACidrBlock, "0.0.0.0/0", "Value is below minimum of 1"},
                {8, Kind::kNoIpv4Address, "2001:db8::/32", ""},
                {9, Kind::kNulByte, std::string("10.1.0.0/16\0tail", 16), ""},
            }));
}

TEST(CriteriaFilesTest, EmptyCidrListGivesAnEmptySet) {
  TempDir dir;
  for (const std::string content : {"", "\n", "# nothing but comments\n"}) {
    writeText(dir.file("empty"), content);
    RecordingReporter reporter(dir.file("empty"));
    const ListLoad<IpSet> load = loadCidrFile(dir.file("empty"), reporter);
    ASSERT_NE(load.set, nullptr);
    EXPECT_TRUE(load.set->empty());
  }
}

TEST(CriteriaFilesTest, EverySetLoadedIsItsOwn) {
  TempDir dir;
  writeText(dir.file("a"), "10.0.0.0/8\n");
  writeText(dir.file("b"), "192.0.2.0/24\n");
  RecordingReporter reportsOfA(dir.file("a"));
  RecordingReporter reportsOfB(dir.file("b"));
  const ListLoad<IpSet> a = loadCidrFile(dir.file("a"), reportsOfA);
  const ListLoad<IpSet> b = loadCidrFile(dir.file("b"), reportsOfB);
  ASSERT_NE(a.set, nullptr);
  ASSERT_NE(b.set, nullptr);
  ASSERT_NE(a.set, b.set);
  EXPECT_TRUE(overlaps(*a.set, k10, 8));
  EXPECT_FALSE(overlaps(*a.set, k192_0_2, 24));
  EXPECT_TRUE(overlaps(*b.set, k192_0_2, 24));
}

// A list that cannot be opened, or whose read fails part way (a list cut short would be another
// query), gives no set, only the failure; no line of it is reported.
TEST(CriteriaFilesTest, AListThatCannotBeLoadedGivesItsFailure) {
  TempDir dir;
  struct Case {
    std::string path;
    ListFailure failure;
  };
  const Case cases[] = {
      {dir.file("missing.txt"), {.opened = false, .error = ENOENT}},
      {dir.path(), {.opened = false, .error = EISDIR}},  // a directory is no list
      // Opens, but the read at address 0 fails.
      {"/proc/self/mem", {.opened = true, .error = EIO, .linesRead = 0}},
  };
  for (const Case& c : cases) {
    RecordingReporter reporter(c.path);
    const ListLoad<IpSet> cidr = loadCidrFile(c.path, reporter);
    const ListLoad<SearchSettings::AsnSet> asn = loadAsnFile(c.path, reporter);
    EXPECT_EQ(cidr.set, nullptr) << c.path;
    EXPECT_EQ(asn.set, nullptr) << c.path;
    for (const ListFailure& failure : {cidr.failure, asn.failure}) {
      EXPECT_EQ(failure.opened, c.failure.opened) << c.path;
      EXPECT_EQ(failure.error, c.failure.error) << c.path;
      EXPECT_EQ(failure.linesRead, c.failure.linesRead) << c.path;
    }
    EXPECT_TRUE(reporter.reports.empty()) << c.path;
  }
}

// An IPv4 address written as one integer is added as read and reported with its reading; 0 is
// 0.0.0.0 either way, and a dotted quad is no integer, so neither is reported.
TEST(CriteriaFilesTest, IntegerAddressKeepsItsReadingAndIsReported) {
  TempDir dir;
  const std::string path = dir.file("blocks.txt");
  writeText(path, "10/8\n0/8\n192.0.2.0/24\n");
  RecordingReporter reporter(path);
  const ListLoad<IpSet> load = loadCidrFile(path, reporter);
  ASSERT_NE(load.set, nullptr);
  EXPECT_TRUE(overlaps(*load.set, 0x00000001, 32));  // 0.0.0.1, in 0.0.0.0/8
  EXPECT_FALSE(overlaps(*load.set, k10, 8));
  EXPECT_EQ(reporter.reports, (std::vector<Reported>{{1, Kind::kIntegerAddress, "10/8", ""}}));
  ASSERT_EQ(reporter.blocks.size(), 1u);
  EXPECT_TRUE(reporter.blocks[0].isIpv4);
  EXPECT_TRUE(reporter.blocks[0].ipv4FromInteger);
  EXPECT_EQ(reporter.blocks[0].ipv4Address, 10u);
  EXPECT_EQ(reporter.blocks[0].prefixLength, 8u);
}

TEST(CriteriaFilesTest, AsnLinesAreStoredVerbatim) {
  TempDir dir;
  const std::string path = dir.file("origins.txt");
  writeText(path, "64500\n064501\n\n64502\n64500\n{64503,64504}\n64505");
  RecordingReporter reporter(path);
  const ListLoad<SearchSettings::AsnSet> load = loadAsnFile(path, reporter);
  ASSERT_NE(load.set, nullptr);
  EXPECT_EQ(*load.set,
            (SearchSettings::AsnSet{"64500", "064501", "", "64502", "{64503,64504}", "64505"}));
  EXPECT_EQ(reporter.reports,
            (std::vector<Reported>{{2, Kind::kNeverAnOrigin, "064501", "has a leading zero"}}));
}

// Every AS number line that can never match is reported, however many there are: how many are
// named is for the caller to decide.
TEST(CriteriaFilesTest, EachAsnLineThatCanNeverMatchIsReported) {
  struct Case {
    std::string content;
    SearchSettings::AsnSet keys;
    std::vector<Reported> reports;
  };
  const std::string crlf = "holds a carriage return (a file with CR LF line ends?)";
  const std::vector<Case> cases = {
      {"64500\r\n64501\r\n",
       {"64500\r", "64501\r"},
       {{1, Kind::kNeverAnOrigin, "64500\r", crlf}, {2, Kind::kNeverAnOrigin, "64501\r", crlf}}},
      {"64500\n 64501\n64502 \n",
       {"64500", " 64501", "64502 "},
       {{2, Kind::kNeverAnOrigin, " 64501", "holds a space"},
        {3, Kind::kNeverAnOrigin, "64502 ", "holds a space"}}},
      {"64500\n\n64496\t64501\n",
       {"64500", "", "64496\t64501"},
       {{3, Kind::kNeverAnOrigin, "64496\t64501", "holds a tab"}}},
      {"1 \n2 \n3 \n4 \n5 \n6 \n7 \n",
       {"1 ", "2 ", "3 ", "4 ", "5 ", "6 ", "7 "},
       {{1, Kind::kNeverAnOrigin, "1 ", "holds a space"},
        {2, Kind::kNeverAnOrigin, "2 ", "holds a space"},
        {3, Kind::kNeverAnOrigin, "3 ", "holds a space"},
        {4, Kind::kNeverAnOrigin, "4 ", "holds a space"},
        {5, Kind::kNeverAnOrigin, "5 ", "holds a space"},
        {6, Kind::kNeverAnOrigin, "6 ", "holds a space"},
        {7, Kind::kNeverAnOrigin, "7 ", "holds a space"}}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file("origins.txt");
    writeText(path, c.content);
    RecordingReporter reporter(path);
    const ListLoad<SearchSettings::AsnSet> load = loadAsnFile(path, reporter);
    ASSERT_NE(load.set, nullptr);
    EXPECT_EQ(*load.set, c.keys);
    EXPECT_EQ(reporter.reports, c.reports);
  }
}

}  // namespace
}  // namespace tarvex
