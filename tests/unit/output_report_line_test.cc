// The report line: W and A forms decided per message, session address text, number text.
#include "output/report_line.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "capture_port.h"
#include "mrt/as_path.h"
#include "mrt_builder.h"

namespace tarvex {
namespace {

using testing::Bytes;

using testing::CapturePort;

std::array<std::uint8_t, 16> address(const std::string& text) {
  std::array<std::uint8_t, 16> out{};
  Bytes bytes = testing::address(text);
  std::copy(bytes.begin(), bytes.end(), out.begin());
  return out;
}

// Keeps the wire bytes and the AS path that a hand-made entry points to.
struct Entry {
  Bytes withdrawnWire;
  Bytes announcedWire;
  Bytes pathWire;
  mrt::AsPath path;
  mrt::BgpUpdate update;

  Entry(std::int64_t time, const std::string& peer, std::uint32_t peerAs, const std::string& local,
        std::uint32_t localAs) {
    update.time = time;
    update.type = mrt::kMrtTypeBgp4mp;
    update.subtype = mrt::kSubtypeMessageAs4;
    update.bgpType = mrt::kBgpMessageUpdate;
    update.peerAs = peerAs;
    update.localAs = localAs;
    update.addressFamily = peer.find(':') != std::string::npos ? mrt::kAfiIpv6 : mrt::kAfiIpv4;
    update.peerAddress = address(peer);
    update.localAddress = address(local);
  }
  Entry& withdraws(std::vector<std::string> prefixes) {
    withdrawnWire = testing::prefixes(prefixes);
    update.withdrawn = *testing::parsedPrefixList(withdrawnWire, mrt::kAfiIpv4);
    return *this;
  }
  Entry& announces(std::vector<std::string> prefixes) {
    announcedWire = testing::prefixes(prefixes);
    update.announced = *testing::parsedPrefixList(announcedWire, mrt::kAfiIpv4);
    return *this;
  }
  Entry& withPath(std::vector<std::uint32_t> asns) {
    pathWire = testing::asPathValue({{testing::kAsSequence, asns}}, 4);
    path.assign(pathWire, 4);
    update.asPath = &path;
    return *this;
  }
  Entry& withMpReach() {
    update.attributeFlags |= mrt::attributeBit(mrt::kAttrMpReachNlri);
    return *this;
  }
};

std::string lineOf(const Entry& entry, std::string_view prefix = "203.0.113.0/24") {
  CapturePort sink;
  MessageLines(entry.update).print(prefix, sink);
  EXPECT_LE(sink.writesTo(Channel::kReport).size(), 1u);  // one write, so one flush, per line
  EXPECT_EQ(sink.out + sink.err, "");
  return sink.report;
}

TEST(ReportLine, WorkedExamples) {
  Entry announce(900, "192.0.2.1", 100, "198.51.100.2", 200);
  announce.announces({"203.0.113.0/24"}).withPath({100, 300});
  EXPECT_EQ(lineOf(announce), "900|A|192.0.2.1|AS100|198.51.100.2|AS200|203.0.113.0/24|100 300\n");

  Entry both(900, "192.0.2.1", 100, "198.51.100.2", 200);
  both.withdraws({"198.51.100.0/24"}).announces({"203.0.113.0/24"}).withPath({100, 300});
  EXPECT_EQ(lineOf(both), "900|W|192.0.2.1|AS100|198.51.100.2|AS200|203.0.113.0/24\n");

  Entry noLocal(900, "192.0.2.1", 100, "0.0.0.0", 0);
  noLocal.announces({"203.0.113.0/24"}).withPath({100, 300});
  EXPECT_EQ(lineOf(noLocal), "900|A|192.0.2.1|AS100|NA|AS0|203.0.113.0/24|100 300\n");
}

struct FormCase {
  const char* name;
  Entry entry;
  const char* line;
};

TEST(ReportLine, FormAndFields) {
  auto make = [](const std::string& peer, const std::string& local) {
    return Entry(1445565678, peer, 64500, local, 4294967295u);
  };
  // A deque never moves its elements, so the spans and the AS path pointer of each entry stay
  // valid while more cases are added.
  std::deque<FormCase> cases;
  cases.push_back({"announcement without AS path", make("192.0.2.1", "192.0.2.2"), ""});
  cases.back().entry.announces({"10.0.0.0/8"});
  cases.back().line = "1445565678|A|192.0.2.1|AS64500|192.0.2.2|AS4294967295|203.0.113.0/24|\n";

  cases.push_back({"announcement with an empty AS path", make("192.0.2.1", "192.0.2.2"), ""});
  cases.back().entry.announces({"10.0.0.0/8"}).withPath({});
  cases.back().line = "1445565678|A|192.0.2.1|AS64500|192.0.2.2|AS4294967295|203.0.113.0/24|\n";

  cases.push_back({"MP_REACH alone gives the A form", make("192.0.2.1", "192.0.2.2"), ""});
  cases.back().entry.withMpReach().withPath({64500, 1});
  cases.back().line =
      "1445565678|A|192.0.2.1|AS64500|192.0.2.2|AS4294967295|203.0.113.0/24|64500 1\n";

  cases.push_back({"withdrawal beats MP_REACH", make("192.0.2.1", "192.0.2.2"), ""});
  cases.back().entry.withdraws({"10.0.0.0/8"}).withMpReach().withPath({64500, 1});
  cases.back().line = "1445565678|W|192.0.2.1|AS64500|192.0.2.2|AS4294967295|203.0.113.0/24\n";

  cases.push_back(
      {"a withdrawn default route still decides the form", make("192.0.2.1", "192.0.2.2"), ""});
  cases.back().entry.withdraws({"0.0.0.0/0"}).announces({"10.0.0.0/8"});
  cases.back().line = "1445565678|W|192.0.2.1|AS64500|192.0.2.2|AS4294967295|203.0.113.0/24\n";

  cases.push_back({"neither lists nor MP_REACH: no line", make("192.0.2.1", "192.0.2.2"), ""});
  cases.back().entry.withPath({1});

  cases.push_back({"IPv6 session, zero local address", make("2001:db8::1", "::"), ""});
  cases.back().entry.announces({"10.0.0.0/8"}).withPath({7});
  cases.back().line = "1445565678|A|2001:db8::1|AS64500|::|AS4294967295|203.0.113.0/24|7\n";

  cases.push_back({"IPv6 session, zero peer address", make("::", "2001:db8::ff"), ""});
  cases.back().entry.withdraws({"10.0.0.0/8"});
  cases.back().line = "1445565678|W|::|AS64500|2001:db8::ff|AS4294967295|203.0.113.0/24\n";

  cases.push_back({"IPv4 session, zero peer address", make("0.0.0.0", "10.255.0.1"), ""});
  cases.back().entry.withdraws({"10.0.0.0/8"});
  cases.back().line = "1445565678|W|NA|AS64500|10.255.0.1|AS4294967295|203.0.113.0/24\n";

  cases.push_back(
      {"IPv4 session with a v4-mapped-looking address", make("0.0.0.1", "255.255.255.255"), ""});
  cases.back().entry.withdraws({"10.0.0.0/8"});
  cases.back().line = "1445565678|W|0.0.0.1|AS64500|255.255.255.255|AS4294967295|203.0.113.0/24\n";

  for (const FormCase& c : cases) EXPECT_EQ(lineOf(c.entry), c.line) << c.name;
}

TEST(ReportLine, SessionTextFollowsTheHeaderFamilyOnly) {
  // An unknown family never reaches the report, but the rule is the same as for IPv4: the first
  // four bytes, "NA" when zero.
  Entry entry(0, "192.0.2.1", 0, "0.0.0.0", 0);
  entry.update.addressFamily = 7;
  entry.announces({"10.0.0.0/8"});
  EXPECT_EQ(lineOf(entry, "10.0.0.0/8"), "0|A|192.0.2.1|AS0|NA|AS0|10.0.0.0/8|\n");
}

TEST(ReportLine, TwoMatchesOfOneMessageDifferOnlyInThePrefix) {
  Entry entry(900, "192.0.2.1", 100, "198.51.100.2", 200);
  entry.announces({"203.0.113.0/24", "198.51.100.0/24"}).withPath({100, 300});
  CapturePort sink;
  MessageLines lines(entry.update);
  lines.print("203.0.113.0/24", sink);
  lines.print("198.51.100.0/24", sink);
  EXPECT_EQ(sink.writesTo(Channel::kReport),
            (std::vector<std::string>{
                "900|A|192.0.2.1|AS100|198.51.100.2|AS200|203.0.113.0/24|100 300\n",
                "900|A|192.0.2.1|AS100|198.51.100.2|AS200|198.51.100.0/24|100 300\n"}));
}

// The lines of one message share a head built once; two messages printing in turn on one
// thread each keep their own.
TEST(ReportLine, MessageLinesInTurnKeepTheirOwnHead) {
  Entry first(900, "192.0.2.1", 100, "198.51.100.2", 200);
  first.announces({"203.0.113.0/24"}).withPath({100, 300});
  Entry second(901, "2001:db8::1", 4294967295u, "::", 0);
  second.withdraws({"198.51.100.0/24"});
  CapturePort sink;
  MessageLines a(first.update);
  MessageLines b(second.update);
  a.print("203.0.113.0/24", sink);
  b.print("198.51.100.0/24", sink);
  a.print("10.0.0.0/8", sink);
  a.print("10.1.0.0/16", sink);
  MessageLines(second.update).print("192.0.2.0/24", sink);
  b.print("11.0.0.0/8", sink);
  EXPECT_EQ(
      sink.writesTo(Channel::kReport),
      (std::vector<std::string>{"900|A|192.0.2.1|AS100|198.51.100.2|AS200|203.0.113.0/24|100 300\n",
                                "901|W|2001:db8::1|AS4294967295|::|AS0|198.51.100.0/24\n",
                                "900|A|192.0.2.1|AS100|198.51.100.2|AS200|10.0.0.0/8|100 300\n",
                                "900|A|192.0.2.1|AS100|198.51.100.2|AS200|10.1.0.0/16|100 300\n",
                                "901|W|2001:db8::1|AS4294967295|::|AS0|192.0.2.0/24\n",
                                "901|W|2001:db8::1|AS4294967295|::|AS0|11.0.0.0/8\n"}));
}

TEST(UnsignedToText, PlainDecimalInOneSharedBuffer) {
  EXPECT_STREQ(unsignedToText(0), "0");
  EXPECT_STREQ(unsignedToText(7), "7");
  EXPECT_STREQ(unsignedToText(23456), "23456");
  EXPECT_STREQ(unsignedToText(4294967295u), "4294967295");
  const char* first = unsignedToText(1);
  const char* second = unsignedToText(2);
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "2");
}

TEST(PrefixText, DottedQuadSlashLength) {
  struct Case {
    std::uint32_t address;
    std::uint8_t length;
    const char* text;
  };
  const Case cases[] = {{0xC0000200, 24, "192.0.2.0/24"},
                        {0x0B0D0000, 13, "11.13.0.0/13"},
                        {0xFFFFFFFF, 32, "255.255.255.255/32"},
                        {0, 0, "0.0.0.0/0"},
                        {0x0A09630C, 40, "10.9.99.12/40"}};
  for (const Case& c : cases) {
    char buffer[24];
    EXPECT_EQ(formatPrefixText({c.address, c.length}, buffer), c.text);
  }
  // Every octet value in every position, against the platform's own text.
  for (std::uint32_t value = 0; value < 256; ++value) {
    const std::uint32_t address = value << 24 | ((value * 7) & 0xff) << 16 |
                                  ((value * 13) & 0xff) << 8 | ((255 - value) & 0xff);
    in_addr raw{htonl(address)};
    char buffer[24];
    EXPECT_EQ(formatPrefixText({address, 32}, buffer), std::string(inet_ntoa(raw)) + "/32");
  }
}

}  // namespace
}  // namespace tarvex
