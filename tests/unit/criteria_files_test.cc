// Loading the criteria lists from files: what each line adds, what is said about bad lines,
// and how a list that cannot be opened is reported.
#include "criteria/criteria_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture_port.h"
#include "criteria/ip_set.h"
#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using testing::CapturePort;
using testing::TempDir;
using testing::writeText;

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
  CapturePort sink;
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
    CapturePort sink;
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
  CapturePort sink;
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
  CapturePort sink;
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

TEST(CriteriaFilesTest, ADirectoryIsAListThatCannotBeOpened) {
  TempDir dir;
  CapturePort sink;
  const IpSet* set = nullptr;
  EXPECT_FALSE(loadCidrFile(dir.path(), &set, sink));
  EXPECT_EQ(set, nullptr);
  SearchSettings settings;
  settings.asnFile = dir.path();
  EXPECT_FALSE(loadAsnFile(settings, sink));
  EXPECT_EQ(sink.err,
            "Couldn't open file " + dir.path() + "\n" + "Couldn't open file " + dir.path() + "\n");
}

// A list cut short would be another query: the load fails and says where the list ended.
TEST(CriteriaFilesTest, ListThatCannotBeReadFailsItsLoad) {
  const std::string memory = "/proc/self/mem";  // opens, but the read at address 0 fails
  const std::string message = "tarvex: " + memory +
                              ": read error after line 0: Input/output error; the list is "
                              "incomplete, so no dump is searched\n";
  CapturePort sink;
  const IpSet* set = nullptr;
  EXPECT_FALSE(loadCidrFile(memory, &set, sink));
  EXPECT_EQ(set, nullptr);
  SearchSettings settings;
  settings.asnFile = memory;
  EXPECT_FALSE(loadAsnFile(settings, sink));
  EXPECT_EQ(sink.err, message + message);
}

TEST(CriteriaFilesTest, IntegerAddressKeepsItsReadingAndIsShown) {
  TempDir dir;
  const std::string path = dir.file("blocks.txt");
  writeText(path, "10/8\n");
  CapturePort sink;
  const IpSet* set = nullptr;
  ASSERT_TRUE(loadCidrFile(path, &set, sink));
  EXPECT_TRUE(overlaps(*set, 0x00000001, 32));  // 0.0.0.1, in 0.0.0.0/8
  EXPECT_FALSE(overlaps(*set, k10, 8));
  EXPECT_EQ(sink.err, "tarvex: " + path +
                          ":1: \"10/8\": the address 10 is read as the integer 0.0.0.10, so the "
                          "block is 0.0.0.0/8 (write 10.0.0.0/8 if that is meant)\n");
}

TEST(CriteriaFilesTest, AsnLinesAreStoredVerbatim) {
  TempDir dir;
  SearchSettings settings;
  settings.asnFile = dir.file("origins.txt");
  writeText(settings.asnFile, "64500\n064501\n\n64502\n64500\n{64503,64504}\n64505");
  CapturePort sink;
  ASSERT_TRUE(loadAsnFile(settings, sink));
  EXPECT_EQ(settings.asnSet,
            (SearchSettings::AsnSet{"64500", "064501", "", "64502", "{64503,64504}", "64505"}));
  EXPECT_EQ(sink.err, "tarvex: " + settings.asnFile +
                          ":2: AS number \"064501\" has a leading zero and can never match an "
                          "origin AS\n");
}

TEST(CriteriaFilesTest, EachAsnLineThatCanNeverMatchIsNamed) {
  struct Case {
    std::string content;
    SearchSettings::AsnSet keys;
    std::string warning;  // after "tarvex: PATH:", where PATH stands for the list's path
  };
  const std::vector<Case> cases = {
      {"64500\r\n64501\r\n",
       {"64500\r", "64501\r"},
       "1: AS number \"64500\\r\" holds a carriage return (a file with CR LF line ends?) and can "
       "never match an origin AS\n"
       "tarvex: PATH:2: AS number \"64501\\r\" holds a carriage return (a file with CR LF line "
       "ends?) and can never match an origin AS\n"},
      {"64500\n 64501\n64502 \n",
       {"64500", " 64501", "64502 "},
       "2: AS number \" 64501\" holds a space and can never match an origin AS\n"
       "tarvex: PATH:3: AS number \"64502 \" holds a space and can never match an origin AS\n"},
      {"64500\n\n64496\t64501\n",
       {"64500", "", "64496\t64501"},
       "3: AS number \"64496\\t64501\" holds a tab and can never match an origin AS\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    SearchSettings settings;
    settings.asnFile = dir.file("origins.txt");
    writeText(settings.asnFile, c.content);
    CapturePort sink;
    ASSERT_TRUE(loadAsnFile(settings, sink));
    EXPECT_EQ(settings.asnSet, c.keys);
    std::string expected = "tarvex: PATH:" + c.warning;
    for (std::size_t at = 0; (at = expected.find("PATH", at)) != std::string::npos;) {
      expected.replace(at, 4, settings.asnFile);
    }
    EXPECT_EQ(sink.err, expected);
  }
}

}  // namespace
}  // namespace tarvex
