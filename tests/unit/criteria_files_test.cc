// Loading the criteria lists from files: what each line adds, what is said about bad lines,
// and how a list that cannot be opened is reported.
#include "criteria/criteria_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "criteria/ip_set.h"
#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using testing::TempDir;
using testing::writeText;

/// Keeps what each channel received.
class RecordingSink final : public ScanSink {
 public:
  void write(Channel channel, std::string_view bytes) override {
    (channel == Channel::kStderr ? err : channel == Channel::kStdout ? out : report) += bytes;
  }
  std::string report, out, err;
};

bool overlaps(const IpSet& set, std::uint32_t address, unsigned length) {
  return set.overlapsIpv4(address, length);
}

constexpr std::uint32_t k10 = 0x0A000000;          // 10.0.0.0
constexpr std::uint32_t k192_0_2 = 0xC0000200;     // 192.0.2.0
constexpr std::uint32_t k198_51_100 = 0xC6336400;  // 198.51.100.0
constexpr std::uint32_t k203_0_113 = 0xCB007100;   // 203.0.113.0

TEST(CriteriaFilesTest, CidrListKeepsGoodLinesAndNamesEachBadOne) {
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
            "203.0.113.0/24");  // no closing LF
  RecordingSink sink;
  const IpSet* set = nullptr;
  ASSERT_TRUE(loadCidrFile(path, &set, sink));
  ASSERT_NE(set, nullptr);

  EXPECT_TRUE(overlaps(*set, k10 | 0x10000, 16));
  EXPECT_TRUE(overlaps(*set, k192_0_2 | 7, 32));
  EXPECT_TRUE(overlaps(*set, k198_51_100, 24));
  EXPECT_TRUE(overlaps(*set, k203_0_113 | 255, 32));
  // The rejected 0.0.0.0/0 and the comment add nothing.
  EXPECT_FALSE(overlaps(*set, 0x0B000000, 8));
  EXPECT_FALSE(overlaps(*set, 0x80000000, 4));
  EXPECT_EQ(
      sink.err,
      "tarvex: " + path + ":2: not a CIDR block (Unexpected character '#'); line ignored\n" +
          "tarvex: " + path +
          ":3: not a CIDR block (Input is empty or all whitespace); line ignored\n" +
          "tarvex: " + path + ":5: not a CIDR block (Unexpected character ' '); line ignored\n" +
          "tarvex: " + path + ":6: not a CIDR block (Value is below minimum of 1); line ignored\n");
  EXPECT_EQ(sink.out + sink.report, "");
}

TEST(CriteriaFilesTest, EmptyCidrListGivesAnEmptySet) {
  TempDir dir;
  for (const std::string content : {"", "\n", "# nothing but comments\n"}) {
    writeText(dir.file("empty"), content);
    RecordingSink sink;
    const IpSet* set = nullptr;
    ASSERT_TRUE(loadCidrFile(dir.file("empty"), &set, sink));
    ASSERT_NE(set, nullptr);
    EXPECT_TRUE(set->empty());
  }
}

TEST(CriteriaFilesTest, EverySetLoadedIsItsOwn) {
  TempDir dir;
  writeText(dir.file("a"), "10.0.0.0/8\n");
  writeText(dir.file("b"), "192.0.2.0/24\n");
  RecordingSink sink;
  const IpSet* a = nullptr;
  const IpSet* b = nullptr;
  ASSERT_TRUE(loadCidrFile(dir.file("a"), &a, sink));
  ASSERT_TRUE(loadCidrFile(dir.file("b"), &b, sink));
  ASSERT_NE(a, b);
  EXPECT_TRUE(overlaps(*a, k10, 8));
  EXPECT_FALSE(overlaps(*a, k192_0_2, 24));
  EXPECT_TRUE(overlaps(*b, k192_0_2, 24));
}

TEST(CriteriaFilesTest, UnopenableListsAreReportedAndLeaveTheRecordAlone) {
  TempDir dir;
  const std::string missing = dir.file("missing.txt");
  RecordingSink sink;
  const IpSet sentinel;
  const IpSet* set = &sentinel;
  EXPECT_FALSE(loadCidrFile(missing, &set, sink));
  EXPECT_EQ(set, &sentinel);

  SearchSettings settings;
  settings.asnFile = missing;
  settings.asnSet = {"64500"};
  EXPECT_FALSE(loadAsnFile(settings, sink));
  EXPECT_EQ(settings.asnSet, SearchSettings::AsnSet{"64500"});

  EXPECT_EQ(sink.err,
            "Couldn't open file " + missing + "\n" + "Couldn't open file " + missing + "\n");
}

TEST(CriteriaFilesTest, ListThatCannotBeReadEndsItsLoadWithAWarning) {
  TempDir dir;
  RecordingSink sink;
  const IpSet* set = nullptr;
  ASSERT_TRUE(loadCidrFile(dir.path(), &set, sink));  // a directory opens, but cannot be read
  EXPECT_TRUE(set->empty());
  EXPECT_EQ(sink.err, "tarvex: " + dir.path() +
                          ": read error after line 0: Is a directory; the rest of the list is "
                          "ignored\n");
}

TEST(CriteriaFilesTest, AsnLinesAreStoredVerbatim) {
  TempDir dir;
  SearchSettings settings;
  settings.asnFile = dir.file("origins.txt");
  writeText(settings.asnFile, "64500\n064501\n\n64502\n64500\n{64503,64504}\n64505");
  RecordingSink sink;
  ASSERT_TRUE(loadAsnFile(settings, sink));
  EXPECT_EQ(settings.asnSet,
            (SearchSettings::AsnSet{"64500", "064501", "", "64502", "{64503,64504}", "64505"}));
  EXPECT_EQ(sink.err, "");
}

TEST(CriteriaFilesTest, FirstAsnLineThatCanNeverMatchIsNamed) {
  struct Case {
    std::string content;
    SearchSettings::AsnSet keys;
    std::string warning;  // after "tarvex: PATH:"
  };
  const std::vector<Case> cases = {
      {"64500\r\n64501\r\n",
       {"64500\r", "64501\r"},
       "1: AS number \"64500\\r\" holds a carriage return (a file with CR LF line ends?) and can "
       "never match an origin AS\n"},
      {"64500\n 64501\n64502 \n",
       {"64500", " 64501", "64502 "},
       "2: AS number \" 64501\" holds a space and can never match an origin AS\n"},
      {"64500\n\n64496\t64501\n",
       {"64500", "", "64496\t64501"},
       "3: AS number \"64496\\t64501\" holds a tab and can never match an origin AS\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    SearchSettings settings;
    settings.asnFile = dir.file("origins.txt");
    writeText(settings.asnFile, c.content);
    RecordingSink sink;
    ASSERT_TRUE(loadAsnFile(settings, sink));
    EXPECT_EQ(settings.asnSet, c.keys);
    EXPECT_EQ(sink.err, "tarvex: " + settings.asnFile + ":" + c.warning);
  }
}

}  // namespace
}  // namespace tarvex
