// The IP set: overlap answers for IPv4 and IPv6 blocks, checked case by case and against a
// brute-force model of "any address of the block is in the set".
#include "criteria/ip_set.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "criteria/cidr_parser.h"

namespace tarvex {
namespace {

CidrBlock block(const std::string& text) {
  CidrBlock parsed;
  std::string reason;
  EXPECT_TRUE(parseCidrBlock(text, parsed, reason)) << text << ": " << reason;
  return parsed;
}

IpSet setOf(const std::vector<std::string>& lines) {
  IpSet set;
  for (const std::string& line : lines) {
    CidrBlock parsed = block(line);
    if (parsed.isIpv4) {
      set.insertIpv4(parsed.ipv4Address, parsed.prefixLength);
    } else {
      set.insert(parsed.ipv6Address, parsed.prefixLength);
    }
  }
  set.seal();
  return set;
}

/// The overlap answer for a probe written as a CIDR text; IPv4 probes are asked both ways,
/// which must agree.
bool overlaps(const IpSet& set, const std::string& probe) {
  CidrBlock parsed = block(probe);
  if (!parsed.isIpv4) return set.overlaps(parsed.ipv6Address, parsed.prefixLength);
  bool ipv4Answer = set.overlapsIpv4(parsed.ipv4Address, parsed.prefixLength);
  Ipv6Address mapped{};
  mapped[10] = mapped[11] = 0xff;
  for (int i = 0; i < 4; ++i) {
    mapped[static_cast<std::size_t>(12 + i)] =
        static_cast<std::uint8_t>(parsed.ipv4Address >> (24 - 8 * i));
  }
  bool ipv6Answer = set.overlaps(mapped, 96 + parsed.prefixLength);
  EXPECT_EQ(ipv4Answer, ipv6Answer) << probe;
  return ipv4Answer;
}

struct OverlapCase {
  std::string name;
  std::vector<std::string> lines;
  std::vector<std::string> matching;
  std::vector<std::string> notMatching;
};

TEST(IpSetTest, OverlapCases) {
  const std::vector<OverlapCase> cases = {
      {"ipv4 block",
       {"10.0.0.0/8"},
       {"10.1.0.0/16", "10.0.0.0/8", "0.0.0.0/4", "8.0.0.0/6", "10.255.255.255/32", "10.0.0.0/32",
        "0.0.0.0/1"},
       {"11.0.0.0/8", "9.255.255.255/32", "8.0.0.0/7", "128.0.0.0/1", "11.0.0.0/32"}},
      {"host bits of the line and the probe are masked",
       {"10.1.2.3/8"},
       {"10.200.0.0/16", "10.9.9.9/8", "10.0.0.0/8"},
       {"11.1.2.3/8"}},
      {"ipv4-mapped line is the ipv4 block",
       {"::ffff:10.0.0.0/104"},
       {"10.1.0.0/16", "10.0.0.0/8", "0.0.0.0/4"},
       {"11.0.0.0/8", "9.0.0.0/8"}},
      {"mapped line wider than any ipv4 prefix of it",
       {"::ffff:10.0.0.0/100"},
       {"10.0.0.0/8", "0.0.0.0/32", "15.255.255.255/32"},
       {"16.0.0.0/8", "255.0.0.0/8"}},
      {"::/1 covers all ipv4", {"::/1"}, {"0.0.0.0/32", "255.255.255.255/32", "128.0.0.0/1"}, {}},
      {"::ffff:0:0/96 covers all ipv4", {"::ffff:0:0/96"}, {"0.0.0.0/1", "255.255.255.255/32"}, {}},
      {"a block that starts below the mapped addresses",
       {"::fffe:0:0/95"},
       {"0.0.0.0/32", "255.255.255.255/32", "::fffe:1:2/128"},
       {"::1:0:0:0/128"}},
      {"ipv6 blocks outside the mapped addresses cover no ipv4",
       {"2001:db8::/32", "::10.0.0.0/104", "8000::/1", "::1:0:0:0/80", "::/96"},
       {"2001:db8:1::/48", "2001::/16", "::10.1.0.0/112", "::/127"},
       {"10.0.0.0/8", "0.0.0.0/1", "128.0.0.0/1", "2001:db9::/32"}},
      {"edges of the ipv4 space",
       {"0.0.0.0/32", "255.255.255.255/32"},
       {"0.0.0.0/1", "128.0.0.0/1", "255.255.255.255/32", "0.0.0.0/32"},
       {"0.0.0.1/32", "255.255.255.254/32", "1.0.0.0/8"}},
      {"adjacent blocks",
       {"10.0.0.0/9", "10.128.0.0/9", "12.0.0.0/8"},
       {"10.127.255.255/32", "10.128.0.0/32", "10.0.0.0/8", "12.0.0.0/8"},
       {"11.0.0.0/8", "13.0.0.0/8"}},
      {"blocks in the middle of a /16",
       {"192.0.2.64/26", "192.0.2.200/32"},
       {"192.0.2.64/32", "192.0.2.127/32", "192.0.2.0/24", "192.0.2.200/32", "192.0.0.0/16"},
       {"192.0.2.63/32", "192.0.2.128/26", "192.0.2.201/32", "192.0.3.0/24"}},
  };
  for (const OverlapCase& c : cases) {
    IpSet set = setOf(c.lines);
    for (const std::string& probe : c.matching)
      EXPECT_TRUE(overlaps(set, probe)) << c.name << ": " << probe;
    for (const std::string& probe : c.notMatching) {
      EXPECT_FALSE(overlaps(set, probe)) << c.name << ": " << probe;
    }
  }
}

TEST(IpSetTest, EmptySetMatchesNothing) {
  IpSet unsealed;
  IpSet sealed;
  sealed.seal();
  for (const IpSet* set : {&unsealed, &sealed}) {
    EXPECT_TRUE(set->empty());
    for (const char* probe : {"0.0.0.0/1", "128.0.0.0/1", "10.0.0.0/8", "255.255.255.255/32",
                              "::/1", "8000::/1", "::ffff:0:0/96"}) {
      EXPECT_FALSE(overlaps(*set, probe)) << probe;
    }
  }
}

TEST(IpSetTest, DuplicatesAndNestedBlocksChangeNothing) {
  IpSet plain = setOf({"10.0.0.0/8", "192.0.2.0/24"});
  IpSet repeated = setOf({"10.0.0.0/8", "10.1.0.0/16", "192.0.2.0/24", "10.0.0.0/8", "10.0.0.0/9",
                          "::ffff:10.0.0.0/104", "192.0.2.128/25", "10.255.255.255"});
  EXPECT_FALSE(repeated.empty());
  std::vector<std::string> probes;
  for (int first = 0; first < 256; ++first) {
    probes.push_back(std::to_string(first) + ".0.0.0/8");
    probes.push_back(std::to_string(first) + ".255.255.255/32");
  }
  for (int third = 0; third < 256; ++third) {
    probes.push_back("192.0." + std::to_string(third) + ".0/24");
    probes.push_back("192.0.2." + std::to_string(third) + "/32");
  }
  for (const std::string& probe : probes) {
    EXPECT_EQ(overlaps(plain, probe), overlaps(repeated, probe)) << probe;
  }
}

TEST(IpSetTest, InsertAfterSealNeedsAnotherSeal) {
  IpSet set = setOf({"10.0.0.0/8"});
  set.insertIpv4(0xC0000200, 24);  // 192.0.2.0/24
  set.seal();
  EXPECT_TRUE(overlaps(set, "192.0.2.1/32"));
  EXPECT_TRUE(overlaps(set, "10.0.0.1/32"));
}

/// A block of the model: the IPv4-mapped range it covers, cut to IPv4, as 64-bit numbers so
/// that an empty cut is representable.
struct ModelBlock {
  std::int64_t first;
  std::int64_t last;
};

// Random blocks against brute force. Sets from a handful of blocks to thousands exercise the
// merge and the /16 index (empty buckets, blocks spanning buckets, ranges at both ends).
TEST(IpSetTest, AgreesWithBruteForceOnRandomSets) {
  std::mt19937 random(20240101);
  auto randomIpv4Block = [&](std::uint32_t& address, unsigned& length) {
    static const unsigned kLengths[] = {1, 4, 8, 12, 15, 16, 17, 20, 24, 28, 31, 32};
    length = kLengths[random() % std::size(kLengths)];
    address = static_cast<std::uint32_t>(random());
    // Crowd half of the blocks into a few /16s, so that many share an index bucket, and put
    // some on a bucket boundary.
    static const std::uint32_t kCrowded[] = {0x0000, 0x0001, 0x0a00, 0x0a01, 0xc000, 0xffff};
    if (random() % 2 == 0) {
      address = (kCrowded[random() % std::size(kCrowded)] << 16) | (address & 0xffff);
    }
    if (random() % 8 == 0) address &= 0xffff0000u;
  };
  auto range = [](std::uint32_t address, unsigned length) {
    std::uint32_t mask = length >= 32 ? 0 : ~std::uint32_t{0} >> length;
    return ModelBlock{address & ~mask, (address & ~mask) | mask};
  };

  for (int blockCount : {0, 1, 2, 3, 10, 100, 3000}) {
    IpSet set;
    std::vector<ModelBlock> model;
    for (int i = 0; i < blockCount; ++i) {
      std::uint32_t address;
      unsigned length;
      randomIpv4Block(address, length);
      if (i % 50 == 7) {
        // An IPv6 block reaching into the mapped addresses from below: ::fffe:X:Y/95+k.
        Ipv6Address v6{};
        v6[10] = 0xff;
        v6[11] = 0xfe;
        unsigned v6Length = 95 + length % 2;
        set.insert(v6, v6Length);
        if (v6Length == 95) model.push_back({0, 0xffffffff});
        continue;
      }
      set.insertIpv4(address, length);
      model.push_back(range(address, length));
    }
    set.seal();
    for (int probe = 0; probe < 20000; ++probe) {
      std::uint32_t address;
      unsigned length;
      randomIpv4Block(address, length);
      ModelBlock wanted = range(address, length);
      bool expected = false;
      for (const ModelBlock& b : model)
        expected |= b.first <= wanted.last && wanted.first <= b.last;
      ASSERT_EQ(set.overlapsIpv4(address, length), expected)
          << blockCount << " blocks, probe " << address << "/" << length;
    }
  }
}

}  // namespace
}  // namespace tarvex
