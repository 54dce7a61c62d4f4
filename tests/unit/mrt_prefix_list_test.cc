// Prefix lists: checking the NLRI encoding once, then iterating it.
#include "mrt/prefix_list.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "mrt_builder.h"

namespace tarvex::mrt {
namespace {

using testing::Bytes;
using testing::prefixes;

std::vector<std::pair<std::uint32_t, int>> walk(const PrefixList& list) {
  std::vector<std::pair<std::uint32_t, int>> out;
  for (const Ipv4Prefix& prefix : list.ipv4()) out.emplace_back(prefix.address, prefix.length);
  return out;
}

TEST(PrefixList, IteratesInWireOrderWithHostBitsKept) {
  // 10.1.2.3/8 carries one octet on the wire (10), 11.13.x/13 two octets with host bits set.
  Bytes wire = prefixes({"192.0.2.0/24", "10.1.2.3/8", "0.0.0.0/0", "11.13.0.0/13",
                         "198.51.100.7/32", "128.0.0.0/1"});
  std::optional<PrefixList> list = testing::parsedPrefixList(wire, kAfiIpv4);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->size(), 6u);
  EXPECT_FALSE(list->empty());
  std::vector<std::pair<std::uint32_t, int>> expected = {{0xC0000200, 24}, {0x0A000000, 8},
                                                         {0x00000000, 0},  {0x0B0D0000, 13},
                                                         {0xC6336407, 32}, {0x80000000, 1}};
  EXPECT_EQ(walk(*list), expected);
}

TEST(PrefixList, EmptyWireIsAnEmptyList) {
  std::optional<PrefixList> list = testing::parsedPrefixList({}, kAfiIpv4);
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->empty());
  EXPECT_TRUE(walk(*list).empty());
}

TEST(PrefixList, NoCapOnTheCount) {
  std::vector<std::string> many;
  for (int i = 0; i < 10000; ++i)
    many.push_back("10." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ".0/24");
  Bytes wire = prefixes(many);
  std::optional<PrefixList> list = testing::parsedPrefixList(wire, kAfiIpv4);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->size(), 10000u);
  EXPECT_EQ(walk(*list).size(), 10000u);
}

struct MalformedCase {
  const char* name;
  Bytes wire;
  std::uint16_t afi;
  bool wellFormed;
};

TEST(PrefixList, LengthsBeyondTheFamilyOrShortBytesAreMalformed) {
  const MalformedCase cases[] = {
      {"IPv4 /32", {32, 1, 2, 3, 4}, kAfiIpv4, true},
      {"IPv4 /33", {33, 1, 2, 3, 4, 5}, kAfiIpv4, false},
      {"IPv4 /255", {255}, kAfiIpv4, false},
      {"IPv6 /128", prefixes({"2001:db8::1/128"}), kAfiIpv6, true},
      {"IPv6 /129", testing::concat({Bytes{129}, Bytes(17, 0)}), kAfiIpv6, false},
      {"IPv4 /33 is fine as IPv6", {33, 1, 2, 3, 4, 5}, kAfiIpv6, true},
      {"address bytes run short", {24, 192, 0}, kAfiIpv4, false},
      {"second prefix runs short", {8, 10, 13, 11}, kAfiIpv4, false},
      {"trailing length byte", {8, 10, 9}, kAfiIpv4, false},
  };
  for (const MalformedCase& c : cases) {
    EXPECT_EQ(testing::parsedPrefixList(c.wire, c.afi).has_value(), c.wellFormed) << c.name;
  }
}

}  // namespace
}  // namespace tarvex::mrt
