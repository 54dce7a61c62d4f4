// The CIDR line parser: which lines are blocks, what they mean, and why the others are not.
#include "criteria/cidr_parser.h"
#include "input/message_text.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvex {
namespace {

/// The parsed block as "address/length", host bits as written; IPv6 in inet_ntop's text.
std::string describe(const CidrBlock& block) {
  char text[INET6_ADDRSTRLEN];
  if (block.isIpv4) {
    std::uint32_t network = htonl(block.ipv4Address);
    inet_ntop(AF_INET, &network, text, sizeof text);
    return "v4 " + std::string(text) + "/" + std::to_string(block.prefixLength);
  }
  inet_ntop(AF_INET6, block.ipv6Address.data(), text, sizeof text);
  return "v6 " + std::string(text) + "/" + std::to_string(block.prefixLength);
}

struct Accepted {
  std::string line;
  std::string block;
};

TEST(CidrParserTest, AcceptedLines) {
  const std::vector<Accepted> cases = {
      {"10.0.0.0/8", "v4 10.0.0.0/8"},
      {"  10.0.0.0/8\t", "v4 10.0.0.0/8"},
      {"10.0.0.0/8\r", "v4 10.0.0.0/8"},  // a CRLF file
      {"\v\f 10.0.0.0/8 \n", "v4 10.0.0.0/8"},
      {"192.0.2.1", "v4 192.0.2.1/32"},
      {"010.001.002.003/24", "v4 10.1.2.3/24"},  // leading zeros are decimal
      {"167772160/8", "v4 10.0.0.0/8"},
      {"10", "v4 0.0.0.10/32"},
      {"0", "v4 0.0.0.0/32"},
      {"4294967295", "v4 255.255.255.255/32"},
      {"+10.0.0.0/8", "v4 10.0.0.0/8"},
      {"+167772160", "v4 10.0.0.0/32"},
      {"10.1.2.3/8", "v4 10.1.2.3/8"},  // host bits are the set's to mask
      {"10.0.0.0/ 8", "v4 10.0.0.0/8"},
      {"10.0.0.0/\t8", "v4 10.0.0.0/8"},
      {"10.0.0.0/+8", "v4 10.0.0.0/8"},
      {"10.0.0.0/008", "v4 10.0.0.0/8"},
      {"10.0.0.0/1", "v4 10.0.0.0/1"},
      {"10.0.0.0/32", "v4 10.0.0.0/32"},
      {std::string("10.0.0.0/8\0garbage", 18), "v4 10.0.0.0/8"},  // the text ends at a NUL
      {"2001:db8::/32", "v6 2001:db8::/32"},
      {"2001:DB8::/32", "v6 2001:db8::/32"},
      {" 2001:db8::/32\r", "v6 2001:db8::/32"},
      {"::/1", "v6 ::/1"},
      {"::", "v6 ::/128"},
      {"::1", "v6 ::1/128"},
      {"1::", "v6 1::/128"},
      {"1:2:3:4:5:6:7:8/128", "v6 1:2:3:4:5:6:7:8/128"},
      {"1:2:3:4:5:6:7::", "v6 1:2:3:4:5:6:7:0/128"},
      {"0001:0:0:0:0:0:0:0abc", "v6 1::abc/128"},
      {"::ffff:1.2.3.4", "v6 ::ffff:1.2.3.4/128"},
      {"::ffff:10.0.0.0/104", "v6 ::ffff:10.0.0.0/104"},
      {"::ffff:0:0/96", "v6 ::ffff:0.0.0.0/96"},
      {"1:2:3:4:5:6:1.2.3.4", "v6 1:2:3:4:5:6:102:304/128"},
      {"fe80::1/ +010", "v6 fe80::1/10"},
      {"::/128", "v6 ::/128"},
  };
  for (const Accepted& c : cases) {
    CidrBlock block;
    std::string reason;
    ASSERT_TRUE(parseCidrBlock(c.line, block, reason))
        << input::escapedForMessage(c.line) << ": " << reason;
    EXPECT_EQ(describe(block), c.block) << input::escapedForMessage(c.line);
  }
}

// The integer form is easily taken for a shortened dotted quad; the block says which was read.
TEST(CidrParserTest, TellsAnIntegerAddressFromAnyOther) {
  for (const std::string line : {"10", "10/8", "+167772160/8", "0"}) {
    CidrBlock block;
    std::string reason;
    ASSERT_TRUE(parseCidrBlock(line, block, reason)) << line;
    EXPECT_TRUE(block.ipv4FromInteger) << line;
  }
  for (const std::string line : {"10.0.0.0/8", "0.0.0.10", "::10/128", "::ffff:10.0.0.0/104"}) {
    CidrBlock block;
    std::string reason;
    ASSERT_TRUE(parseCidrBlock(line, block, reason)) << line;
    EXPECT_FALSE(block.ipv4FromInteger) << line;
  }
}

struct Rejected {
  std::string line;
  std::string reason;
};

TEST(CidrParserTest, RejectedLinesAndTheirReasons) {
  const std::string kEnd = "Unexpected end-of-input";
  const std::vector<Rejected> cases = {
      {"", "Input is empty or all whitespace"},
      {" \t\r", "Input is empty or all whitespace"},
      {std::string("\0"
                   "10.0.0.0/8",
                   11),
       "Input is empty or all whitespace"},
      {"# 10.0.0.0/8", "Unexpected character '#'"},
      {"10.0.0.0/8 # customers", "Unexpected character ' '"},
      {"1.2.3", kEnd},
      {"1.2.3.", kEnd},
      {"1.2.3.4.5", "Unexpected character '.'"},
      {"0x0a000000", "Unexpected character 'x'"},
      {"10.x.0.0", "Unexpected character 'x'"},
      {"-1", "Unexpected character '-'"},
      {"10.0.0.-1", "Unexpected character '-'"},
      {"++1", "Unexpected character '+'"},
      {"10.+1.0.0", "Unexpected character '+'"},
      {"256.0.0.0", "IP octet 1 is too large: 256"},
      {"1.2.3.300/24", "IP octet 4 is too large: 300"},
      {"4294967296", "Integer too large for IPv4: 4294967296"},
      {"99999999999999999999", "Value overflows the parser"},
      {"10.0.0.0/99999999999999999999", "Value overflows the parser"},
      {"0.0.0.0/0", "Value is below minimum of 1"},
      {"10.0.0.0/00", "Value is below minimum of 1"},
      {"::/0", "Value is below minimum of 1"},
      {"10.0.0.0/33", "Value is above maximum of 32"},
      {"167772160/4294967296", "Value is above maximum of 32"},
      {"::/129", "Value is above maximum of 128"},
      {"10.0.0.0 /8", "Unexpected character ' '"},
      {"10.0.0.0\t/8", "Unexpected character '\\t'"},
      {"10.0.0.0/", kEnd},
      {"10.0.0.0/8/8", "Unexpected character '/'"},
      {"10.0.0.0/-8", "Unexpected character '-'"},
      {"10.0.0.0/8x", "Unexpected character 'x'"},
      {"/8", "Unexpected character '/'"},
      {"[::1]", "Unexpected character '['"},
      {"fe80::1%eth0", "Unexpected character '%'"},
      {"1::2::3", "Unexpected character ':'"},
      {"1:::2", "Unexpected character ':'"},
      {":1", "Unexpected character ':'"},
      {"1:2:3", kEnd},
      {"1:2:3:", kEnd},
      {"12345::", "Unexpected character '5'"},
      {"g::", "Unexpected character 'g'"},
      {"1:2:3:4:5:6:7:8:9", "Too many groups in an IPv6 address"},
      {"1:2:3:4:5:6:7:8::", "Too many groups in an IPv6 address"},
      {"1:2:3:4:5:6:7:1.2.3.4", "Too many groups in an IPv6 address"},
      {"::ffff:1.2.3", kEnd},
      {"::ffff:a.2.3.4", "Unexpected character 'a'"},
      {"::ffff:1.2.3.256", "IP octet 4 is too large: 256"},
      {"1.2.3.4:80", "Unexpected character ':'"},
  };
  for (const Rejected& c : cases) {
    CidrBlock block;
    std::string reason;
    EXPECT_FALSE(parseCidrBlock(c.line, block, reason)) << input::escapedForMessage(c.line);
    EXPECT_EQ(reason, c.reason) << input::escapedForMessage(c.line);
  }
}

TEST(CidrParserTest, RejectedLineLeavesTheBlockAlone) {
  CidrBlock block;
  std::string reason;
  ASSERT_TRUE(parseCidrBlock("192.0.2.0/24", block, reason));
  EXPECT_FALSE(parseCidrBlock("192.0.2.0/0", block, reason));
  EXPECT_EQ(describe(block), "v4 192.0.2.0/24");
}

TEST(CidrParserTest, EscapedForMessageShowsInvisibleBytes) {
  EXPECT_EQ(input::escapedForMessage("64500"), "64500");
  EXPECT_EQ(input::escapedForMessage("64500\r"), "64500\\r");
  EXPECT_EQ(input::escapedForMessage("a\tb\n\"c\"\\"), "a\\tb\\n\\\"c\\\"\\\\");
  EXPECT_EQ(input::escapedForMessage(std::string("\0\x7f\xff", 3)), "\\x00\\x7f\\xff");
}

}  // namespace
}  // namespace tarvex
