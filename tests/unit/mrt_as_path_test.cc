// AS_PATH validation, its text, and the AS4_PATH rebuild for 2-byte sessions.
#include "mrt/as_path.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "mrt_builder.h"

namespace tarvex::mrt {
namespace {

using testing::asPathValue;
using testing::Bytes;
using testing::kAsSequence;
using testing::kAsSet;
using testing::kConfedSequence;
using testing::kConfedSet;
using testing::Segment;

std::string textOf(const Bytes& value, unsigned width) {
  AsPath path;
  path.assign(value, width);
  return std::string(path.text());
}

struct TextCase {
  const char* name;
  std::vector<Segment> segments;
  unsigned width;
  const char* text;
};

TEST(AsPathText, EachSegmentTypeHasItsForm) {
  const TextCase cases[] = {
      {"empty path", {}, 4, ""},
      {"one sequence", {{kAsSequence, {64500, 3356, 15169}}}, 4, "64500 3356 15169"},
      {"one ASN", {{kAsSequence, {15169}}}, 4, "15169"},
      {"set", {{kAsSet, {1, 2, 3}}}, 4, "{1,2,3}"},
      {"sequence then set", {{kAsSequence, {1, 2}}, {kAsSet, {3, 4}}}, 4, "1 2 {3,4}"},
      {"confed sequence",
       {{kConfedSequence, {65001, 65002}}, {kAsSequence, {1}}},
       4,
       "(65001 65002) 1"},
      {"confed set", {{kConfedSet, {65001, 65002}}, {kAsSequence, {1}}}, 4, "[65001,65002] 1"},
      {"two sequences", {{kAsSequence, {1, 2}}, {kAsSequence, {3}}}, 4, "1 2 3"},
      {"largest 4-byte ASN", {{kAsSequence, {4294967295u, 0}}}, 4, "4294967295 0"},
      {"2-byte ASNs", {{kAsSequence, {65535, 23456}}, {kAsSet, {1}}}, 2, "65535 23456 {1}"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(textOf(asPathValue(c.segments, static_cast<int>(c.width)), c.width), c.text)
        << c.name;
  }
}

TEST(AsPathText, LongPathsAreNotCut) {
  // 40 segments of 255 ASNs: far beyond the length where older dumpers stop writing.
  std::vector<Segment> segments;
  std::string expected;
  for (std::uint32_t s = 0; s < 40; ++s) {
    Segment segment{kAsSequence, {}};
    for (std::uint32_t i = 0; i < 255; ++i) {
      std::uint32_t asn = 4200000000u + s * 1000 + i;
      segment.asns.push_back(asn);
      if (!expected.empty()) expected += ' ';
      expected += std::to_string(asn);
    }
    segments.push_back(segment);
  }
  EXPECT_EQ(textOf(asPathValue(segments, 4), 4), expected);
}

TEST(AsPathText, TextIsRebuiltForEachAssignment) {
  AsPath path;
  Bytes first = asPathValue({{kAsSequence, {1, 2}}}, 4);
  Bytes second = asPathValue({{kAsSet, {3}}}, 4);
  path.assign(first, 4);
  EXPECT_EQ(path.text(), "1 2");
  path.assign(second, 4);
  EXPECT_EQ(path.text(), "{3}");
}

struct ValidityCase {
  const char* name;
  Bytes value;
  unsigned width;
  bool wellFormed;
};

TEST(AsPathValidity, SegmentsMustFillTheValueExactly) {
  const ValidityCase cases[] = {
      {"empty", {}, 4, true},
      {"one segment", {2, 1, 0, 0, 0, 1}, 4, true},
      {"all four types",
       asPathValue({{kAsSet, {1}}, {kAsSequence, {2}}, {kConfedSequence, {3}}, {kConfedSet, {4}}},
                   2),
       2, true},
      {"255 ASNs", asPathValue({{kAsSequence, std::vector<std::uint32_t>(255, 7)}}, 2), 2, true},
      {"type 0", {0, 1, 0, 1}, 2, false},
      {"type 5", {5, 1, 0, 1}, 2, false},
      {"zero ASNs", {2, 0}, 2, false},
      {"zero ASNs after a good segment", {2, 1, 0, 1, 2, 0}, 2, false},
      {"segment runs past the value", {2, 2, 0, 1}, 2, false},
      {"stray byte after the last segment", {2, 1, 0, 1, 2}, 2, false},
      {"lone segment type", {2}, 4, false},
      {"4-byte path read as 2-byte", {2, 1, 0, 0, 0, 1}, 2, false},
      {"2-byte path read as 4-byte", {2, 2, 0, 1, 0, 2}, 4, false},
  };
  for (const ValidityCase& c : cases) {
    EXPECT_EQ(isWellFormedAsPath(c.value, c.width), c.wellFormed) << c.name;
  }
}

TEST(AsPathLength, SetsCountOneAndConfederationsNothing) {
  EXPECT_EQ(countAsPathLength({}, 4), 0u);
  EXPECT_EQ(countAsPathLength(asPathValue({{kAsSequence, {1, 2, 3}}}, 4), 4), 3u);
  EXPECT_EQ(countAsPathLength(asPathValue({{kAsSequence, {1, 2}}, {kAsSet, {3, 4, 5}}}, 2), 2), 3u);
  EXPECT_EQ(
      countAsPathLength(
          asPathValue({{kConfedSequence, {1, 2}}, {kConfedSet, {3}}, {kAsSequence, {4}}}, 4), 4),
      1u);
}

struct RebuildCase {
  const char* name;
  std::vector<Segment> asPath;  // 2-byte ASNs
  Bytes as4Path;                // 4-byte ASNs, possibly malformed
  const char* text;
};

Bytes as4(const std::vector<Segment>& segments) {
  return asPathValue(segments, 4);
}

TEST(AsPathRebuild, FollowsRfc6793) {
  const RebuildCase cases[] = {
      {"AS_TRANS replaced, leading ASN kept",
       {{kAsSequence, {1, 23456, 23456}}},
       as4({{kAsSequence, {70000, 80000}}}),
       "1 70000 80000"},
      {"equal lengths: the AS4_PATH alone",
       {{kAsSequence, {23456, 23456}}},
       as4({{kAsSequence, {70000, 80000}}}),
       "70000 80000"},
      {"AS4_PATH longer: ignored",
       {{kAsSequence, {1, 23456}}},
       as4({{kAsSequence, {70000, 80000, 90000}}}),
       "1 23456"},
      {"empty AS4_PATH: the AS_PATH", {{kAsSequence, {1, 23456}}}, {}, "1 23456"},
      {"empty AS_PATH: stays empty", {}, as4({{kAsSequence, {70000}}}), ""},
      {"AS4_PATH with a zero-length segment: ignored",
       {{kAsSequence, {1, 23456}}},
       Bytes{2, 0},
       "1 23456"},
      {"AS4_PATH with a stray byte: ignored",
       {{kAsSequence, {1, 23456}}},
       Bytes{2, 1, 0, 1, 0x11, 0x70, 9},
       "1 23456"},
      {"AS4_PATH with an unknown segment type: ignored",
       {{kAsSequence, {1, 23456}}},
       Bytes{9, 1, 0, 1, 0x11, 0x70},
       "1 23456"},
      {"AS4_PATH running past its value: ignored",
       {{kAsSequence, {1, 23456}}},
       Bytes{2, 2, 0, 1, 0x11, 0x70},
       "1 23456"},
      {"confederation segments of the AS4_PATH dropped",
       {{kAsSequence, {1, 23456}}},
       as4({{kConfedSequence, {65001}}, {kAsSequence, {70000}}, {kConfedSet, {65002}}}),
       "1 70000"},
      {"cut inside a sequence",
       {{kAsSequence, {1, 2, 3, 23456}}},
       as4({{kAsSequence, {70000, 5}}}),
       "1 2 70000 5"},
      {"a set counts one and is taken whole",
       {{kAsSet, {1, 2, 3}}, {kAsSequence, {23456}}},
       as4({{kAsSequence, {70000}}}),
       "{1,2,3} 70000"},
      {"sequence and set on both sides",
       {{kAsSequence, {1, 2, 23456}}, {kAsSet, {3, 4}}},
       as4({{kAsSequence, {70000}}, {kAsSet, {3, 4}}}),
       "1 2 70000 {3,4}"},
      {"several AS_PATH segments before the AS4_PATH part",
       {{kAsSequence, {1, 2}}, {kAsSequence, {3, 23456}}},
       as4({{kAsSequence, {70000}}}),
       "1 2 3 70000"},
      {"leading confederation kept when nothing else is",
       {{kConfedSequence, {65001}}, {kAsSequence, {23456}}},
       as4({{kAsSequence, {70000}}}),
       "(65001) 70000"},
      {"confederation behind the last segment taken",
       {{kAsSequence, {1}}, {kConfedSequence, {65001, 65002}}, {kAsSequence, {23456}}},
       as4({{kAsSequence, {70000}}}),
       "1 (65001 65002) 70000"},
      {"confederation behind a cut segment",
       {{kAsSequence, {1, 23456}}, {kConfedSet, {65001, 65002}}},
       as4({{kAsSequence, {70000}}}),
       "1 [65001,65002] 70000"},
      {"confederation inside the kept part counts nothing",
       {{kAsSequence, {1}}, {kConfedSequence, {65001}}, {kAsSequence, {2, 23456}}},
       as4({{kAsSequence, {70000}}}),
       "1 (65001) 2 70000"},
      {"a later confederation, after the budget, is not taken",
       {{kAsSequence, {1, 23456}}, {kConfedSequence, {65001}}},
       as4({{kAsSequence, {70000, 80000}}}),
       "70000 80000"},
  };
  for (const RebuildCase& c : cases) {
    Bytes asPath = asPathValue(c.asPath, 2);
    ASSERT_TRUE(isWellFormedAsPath(asPath, 2)) << c.name;
    AsPath path;
    path.assignWithAs4Path(asPath, c.as4Path);
    EXPECT_EQ(path.text(), c.text) << c.name;
  }
}

// The origin token straight from the last segment is the token of the whole text: checked on
// random paths of every segment type and width, merged with random AS4_PATHs or not.
TEST(AsPathOrigin, SameTokenAsTheText) {
  std::mt19937 random(42);
  const testing::SegmentType types[] = {kAsSet, kAsSequence, kConfedSequence, kConfedSet};
  auto randomSegments = [&](unsigned width) {
    std::vector<Segment> segments(random() % 4);
    for (Segment& segment : segments) {
      segment.type = types[random() % 4];
      segment.asns.resize(1 + random() % 4);
      for (std::uint32_t& asn : segment.asns) {
        asn = width == 2 ? random() % 65536 : static_cast<std::uint32_t>(random());
        if (random() % 4 == 0) asn = 23456;
      }
    }
    return segments;
  };
  for (int round = 0; round < 3000; ++round) {
    const unsigned width = round % 3 == 0 ? 2 : 4;
    const Bytes asPath = asPathValue(randomSegments(width), static_cast<int>(width));
    const Bytes as4Path = asPathValue(randomSegments(4), 4);
    AsPath path;
    if (width == 2 && round % 2 == 0) {
      path.assignWithAs4Path(asPath, as4Path);
    } else {
      path.assign(asPath, width);
    }
    std::uint32_t asn = 0;
    std::string token = "left over";
    const bool numeric = path.origin(asn, token);
    const std::string text(path.text());
    const std::size_t lastSpace = text.rfind(' ');
    const std::string expected = lastSpace == std::string::npos ? text : text.substr(lastSpace + 1);
    EXPECT_EQ(numeric ? std::to_string(asn) : token, expected) << text;
    // A numeric token comes only from a path that ends in a plain sequence.
    if (numeric) {
      EXPECT_EQ(std::string("})]").find(text.back()), std::string::npos) << text;
    }
  }
}

TEST(AsPathOrigin, EachKindOfLastSegment) {
  struct Case {
    const char* name;
    std::vector<Segment> segments;
    bool numeric;
    const char* token;
  };
  const Case cases[] = {
      {"empty path", {}, false, ""},
      {"sequence", {{kAsSequence, {1, 2, 15169}}}, true, "15169"},
      {"set", {{kAsSequence, {1}}, {kAsSet, {3, 4}}}, false, "{3,4}"},
      {"confed sequence", {{kAsSequence, {1}}, {kConfedSequence, {65001, 65002}}}, false, "65002)"},
      {"confed sequence alone", {{kConfedSequence, {65001}}}, false, "(65001)"},
      {"confed set", {{kAsSequence, {1}}, {kConfedSet, {65001, 65002}}}, false, "[65001,65002]"},
  };
  for (const Case& c : cases) {
    AsPath path;
    const Bytes value = asPathValue(c.segments, 4);
    path.assign(value, 4);
    std::uint32_t asn = 0;
    std::string token;
    ASSERT_EQ(path.origin(asn, token), c.numeric) << c.name;
    EXPECT_EQ(c.numeric ? std::to_string(asn) : token, c.token) << c.name;
  }
}

}  // namespace
}  // namespace tarvex::mrt
