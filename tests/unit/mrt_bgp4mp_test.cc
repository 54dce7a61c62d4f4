// Decoding BGP4MP UPDATE records: every header field, the selection, the attribute walk, the MP
// lists, and malformed records of every kind.
#include "mrt/bgp4mp.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mrt/as_path.h"
#include "mrt_builder.h"

namespace tarvex::mrt {
namespace {

using namespace tarvex::testing;

// Decodes the one record that `bytes` holds. `bytes` and `decoder` must outlive `update`.
DecodeResult decodeRecord(UpdateDecoder& decoder, const Bytes& bytes, BgpUpdate& update) {
  EXPECT_GE(bytes.size(), 12u);
  MrtRecord record;
  record.timestamp = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                     (std::uint32_t{bytes[2]} << 8) | bytes[3];
  record.type = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  record.subtype = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  record.body = std::span<const std::uint8_t>(bytes).subspan(12);
  return decoder.decode(record, update);
}

DecodeResult resultOf(const Bytes& bytes) {
  UpdateDecoder decoder;
  BgpUpdate update;
  return decodeRecord(decoder, bytes, update);
}

Bytes updateRecord(const Bytes& withdrawn, const Bytes& attributes, const Bytes& nlri,
                   const Session& session = {}, std::uint16_t type = 16) {
  Bytes message = bgpMessage(2, updateBody(withdrawn, attributes, nlri));
  std::uint16_t subtype = session.as4 ? 4 : 1;
  if (type == 17) return mrtRecord(1000, 17, subtype, bgp4mpBody(session, message), 250000);
  return mrtRecord(1000, type, subtype, bgp4mpBody(session, message));
}

std::string addressText(const BgpUpdate& update, const std::array<std::uint8_t, 16>& address) {
  char text[INET6_ADDRSTRLEN];
  inet_ntop(update.addressFamily == kAfiIpv6 ? AF_INET6 : AF_INET, address.data(), text,
            sizeof text);
  return text;
}

std::vector<std::string> prefixTexts(const PrefixList& list) {
  std::vector<std::string> out;
  for (const Ipv4Prefix& prefix : list.ipv4()) {
    in_addr address{htonl(prefix.address)};
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &address, text, sizeof text);
    out.push_back(std::string(text) + "/" + std::to_string(prefix.length));
  }
  return out;
}

using Texts = std::vector<std::string>;

struct HeaderCase {
  const char* name;
  Bytes record;
  std::int64_t time;
  std::uint32_t microseconds;
  std::uint16_t type;
  std::uint16_t subtype;
  std::uint32_t peerAs;
  std::uint32_t localAs;
  std::uint16_t afi;
  const char* peer;
  const char* local;
};

TEST(Bgp4mpDecode, HeaderFields) {
  Session twoByte{false, 65000, 12654, 7, "192.0.2.1", "198.51.100.2"};
  Session fourByte{true, 4294967295u, 4200000000u, 0, "203.0.113.9", "0.0.0.0"};
  Session ipv6{true, 64500, 64501, 0, "2001:db8::1", "::"};
  Bytes empty = bgpMessage(2, updateBody({}, {}, {}));
  const HeaderCase cases[] = {
      {"BGP4MP, 2-byte ASNs", mrtRecord(900, 16, 1, bgp4mpBody(twoByte, empty)), 900, 0, 16, 1,
       65000, 12654, 1, "192.0.2.1", "198.51.100.2"},
      {"BGP4MP, 4-byte ASNs", mrtRecord(4294967295u, 16, 4, bgp4mpBody(fourByte, empty)),
       4294967295LL, 0, 16, 4, 4294967295u, 4200000000u, 1, "203.0.113.9", "0.0.0.0"},
      {"BGP4MP_ET", mrtRecord(1445565678, 17, 4, bgp4mpBody(fourByte, empty), 509481), 1445565678,
       509481, 17, 4, 4294967295u, 4200000000u, 1, "203.0.113.9", "0.0.0.0"},
      {"BGP4MP_ET, 2-byte ASNs", mrtRecord(1, 17, 1, bgp4mpBody(twoByte, empty), 0), 1, 0, 17, 1,
       65000, 12654, 1, "192.0.2.1", "198.51.100.2"},
      {"IPv6 session", mrtRecord(5, 16, 4, bgp4mpBody(ipv6, empty)), 5, 0, 16, 4, 64500, 64501, 2,
       "2001:db8::1", "::"},
  };
  for (const HeaderCase& c : cases) {
    UpdateDecoder decoder;
    BgpUpdate update;
    ASSERT_EQ(decodeRecord(decoder, c.record, update), DecodeResult::kUpdate) << c.name;
    EXPECT_EQ(update.time, c.time) << c.name;
    EXPECT_EQ(update.microseconds, c.microseconds) << c.name;
    EXPECT_EQ(update.type, c.type) << c.name;
    EXPECT_EQ(update.subtype, c.subtype) << c.name;
    EXPECT_EQ(update.bgpType, kBgpMessageUpdate) << c.name;
    EXPECT_EQ(update.peerAs, c.peerAs) << c.name;
    EXPECT_EQ(update.localAs, c.localAs) << c.name;
    EXPECT_EQ(update.addressFamily, c.afi) << c.name;
    EXPECT_EQ(addressText(update, update.peerAddress), c.peer) << c.name;
    EXPECT_EQ(addressText(update, update.localAddress), c.local) << c.name;
    EXPECT_TRUE(update.withdrawn.empty()) << c.name;
    EXPECT_TRUE(update.announced.empty()) << c.name;
    EXPECT_FALSE(update.hasAttributes) << c.name;
    EXPECT_EQ(update.attributeFlags, 0u) << c.name;
    EXPECT_EQ(update.asPath, nullptr) << c.name;
  }
}

TEST(Bgp4mpDecode, IpSessionAddressesAreZeroPaddedTo16Bytes) {
  UpdateDecoder decoder;
  BgpUpdate update;
  update.peerAddress.fill(0xee);
  update.localAddress.fill(0xee);
  Bytes record = updateRecord({}, {}, {});
  ASSERT_EQ(decodeRecord(decoder, record, update), DecodeResult::kUpdate);
  for (std::size_t i = 4; i < 16; ++i) {
    EXPECT_EQ(update.peerAddress[i], 0);
    EXPECT_EQ(update.localAddress[i], 0);
  }
}

TEST(Bgp4mpDecode, WithdrawnAndAnnouncedRoutesAreIpv4OnAnySession) {
  for (const char* peer : {"192.0.2.1", "2001:db8::1"}) {
    Session session;
    session.peerIp = peer;
    session.localIp =
        std::string(peer).find(':') != std::string::npos ? "2001:db8::2" : "192.0.2.2";
    Bytes record =
        updateRecord(prefixes({"10.0.0.0/8", "198.51.100.128/25"}),
                     concat({originAttribute(), asPathAttribute({{kAsSequence, {64500, 15169}}}, 4),
                             nextHopAttribute()}),
                     prefixes({"203.0.113.0/24", "11.13.0.0/13", "0.0.0.0/0"}), session);
    UpdateDecoder decoder;
    BgpUpdate update;
    ASSERT_EQ(decodeRecord(decoder, record, update), DecodeResult::kUpdate) << peer;
    EXPECT_EQ(prefixTexts(update.withdrawn), (Texts{"10.0.0.0/8", "198.51.100.128/25"}));
    EXPECT_EQ(prefixTexts(update.announced),
              (Texts{"203.0.113.0/24", "11.13.0.0/13", "0.0.0.0/0"}));
    ASSERT_NE(update.asPath, nullptr);
    EXPECT_EQ(update.asPath->text(), "64500 15169");
    EXPECT_TRUE(update.hasAttributes);
    EXPECT_EQ(update.attributeFlags, attributeBit(1) | attributeBit(2) | attributeBit(3));
  }
}

struct SelectionCase {
  const char* name;
  Bytes record;
};

TEST(Bgp4mpDecode, OnlyBgp4mpUpdatesAreSelected) {
  Session as4;
  Session as2;
  as2.as4 = false;
  auto body = [](const Session& s, std::uint8_t bgpType, const Bytes& payload) {
    return bgp4mpBody(s, bgpMessage(bgpType, payload));
  };
  Bytes update = updateBody({}, {}, prefixes({"10.0.0.0/8"}));
  const SelectionCase cases[] = {
      {"OPEN", mrtRecord(1, 16, 1, body(as2, 1, Bytes(10, 0)))},
      {"NOTIFICATION", mrtRecord(1, 16, 4, body(as4, 3, {6, 2}))},
      {"KEEPALIVE", mrtRecord(1, 16, 4, body(as4, 4, {}))},
      {"ROUTE-REFRESH", mrtRecord(1, 17, 4, body(as4, 5, {0, 1, 0, 1}), 0)},
      {"state change subtype 0", mrtRecord(1, 16, 0,
                                           concat({u16be(1), u16be(2), u16be(0), u16be(1), u32be(1),
                                                   u32be(2), u16be(1), u16be(2)}))},
      {"state change subtype 5", mrtRecord(1, 16, 5, Bytes(20, 0))},
      {"subtype 9 (ADD-PATH)", mrtRecord(1, 16, 9, body(as4, 2, update))},
      {"subtype 2", mrtRecord(1, 16, 2, body(as4, 2, update))},
      {"TABLE_DUMP_V2", mrtRecord(1, 13, 4, body(as4, 2, update))},
      {"TABLE_DUMP", mrtRecord(1, 12, 1, body(as4, 2, update))},
      {"BGP (type 5)", mrtRecord(1, 5, 1, body(as4, 2, update))},
      {"zero-length record of another type", mrtRecord(1, 13, 1, {})},
  };
  for (const SelectionCase& c : cases) {
    EXPECT_EQ(resultOf(c.record), DecodeResult::kNotSelected) << c.name;
  }
}

struct MalformedCase {
  const char* name;
  Bytes record;
  DecodeResult expected;
};

TEST(Bgp4mpDecode, MalformedRecordsAreRejectedWholeAndOthersPass) {
  Session session;
  Bytes header = bgp4mpBody(session, {});
  Bytes marker(16, 0xff);
  Bytes path = asPathAttribute({{kAsSequence, {64500}}}, 4);
  auto raw = [](const Bytes& body) { return mrtRecord(1, 16, 4, body); };
  // A BGP message with a given length field and body.
  auto message = [&](std::uint16_t length, std::uint8_t type, const Bytes& body) {
    return concat({marker, u16be(length), Bytes{type}, body});
  };
  Bytes badMarker = marker;
  badMarker[15] = 0xfe;
  const MalformedCase cases[] = {
      {"zero-length BGP4MP record", raw({}), DecodeResult::kMalformed},
      {"zero-length BGP4MP_ET record", mrtRecord(1, 17, 4, {}), DecodeResult::kMalformed},
      {"BGP4MP_ET shorter than its microseconds", mrtRecord(1, 17, 4, {0, 0, 1}),
       DecodeResult::kMalformed},
      {"header cut inside the ASNs", raw({0, 0, 0xfb}), DecodeResult::kMalformed},
      {"AFI 0",
       raw(concat({u32be(1), u32be(2), u16be(0), u16be(0), Bytes(8, 1),
                   bgpMessage(2, updateBody({}, {}, {}))})),
       DecodeResult::kMalformed},
      {"AFI 3",
       raw(concat({u32be(1), u32be(2), u16be(0), u16be(3), Bytes(8, 1),
                   bgpMessage(2, updateBody({}, {}, {}))})),
       DecodeResult::kMalformed},
      {"AFI 65535",
       raw(concat({u32be(1), u32be(2), u16be(0), u16be(65535), Bytes(32, 1), bgpMessage(4, {})})),
       DecodeResult::kMalformed},
      {"IPv6 addresses cut short",
       raw(concat({u32be(1), u32be(2), u16be(0), u16be(2), Bytes(20, 1)})),
       DecodeResult::kMalformed},
      {"no BGP message", raw(header), DecodeResult::kMalformed},
      {"marker not all ones", raw(concat({header, badMarker, u16be(19), Bytes{4}})),
       DecodeResult::kMalformed},
      {"marker cut short", raw(concat({header, Bytes(10, 0xff)})), DecodeResult::kMalformed},
      {"BGP length below 19", raw(concat({header, message(18, 4, {})})), DecodeResult::kMalformed},
      {"BGP length beyond the record", raw(concat({header, message(24, 2, {0, 0, 0, 0})})),
       DecodeResult::kMalformed},
      {"KEEPALIVE with a BGP length beyond the record", raw(concat({header, message(20, 4, {})})),
       DecodeResult::kMalformed},
      {"bytes after the BGP message are ignored",
       raw(concat({header, bgpMessage(2, updateBody({}, path, {})), Bytes{1, 2, 3}})),
       DecodeResult::kUpdate},
      {"UPDATE without its two lengths", raw(concat({header, message(21, 2, {0, 0})})),
       DecodeResult::kMalformed},
      {"withdrawn length beyond the message", raw(concat({header, message(23, 2, {0, 5, 0, 0})})),
       DecodeResult::kMalformed},
      {"attribute length beyond the message", raw(concat({header, message(23, 2, {0, 0, 0, 1})})),
       DecodeResult::kMalformed},
      {"withdrawn /33", updateRecord({33, 1, 2, 3, 4, 5}, {}, {}), DecodeResult::kMalformed},
      {"NLRI /33", updateRecord({}, path, {33, 1, 2, 3, 4, 5}), DecodeResult::kMalformed},
      {"NLRI cut inside a prefix", updateRecord({}, path, {13, 11, 13, 11}),
       DecodeResult::kMalformed},
      {"withdrawn cut inside a prefix", updateRecord({24, 10, 0}, {}, {}),
       DecodeResult::kMalformed},
      {"attribute header cut after the flags", updateRecord({}, Bytes{0x40}, {}),
       DecodeResult::kMalformed},
      {"attribute header cut before the length", updateRecord({}, Bytes{0x40, 1}, {}),
       DecodeResult::kMalformed},
      {"extended length cut", updateRecord({}, Bytes{0x50, 1, 0}, {}), DecodeResult::kMalformed},
      {"attribute value beyond the block", updateRecord({}, Bytes{0x40, 1, 2, 0}, {}),
       DecodeResult::kMalformed},
      {"extended-length value beyond the block", updateRecord({}, Bytes{0x50, 8, 1, 0, 1, 2}, {}),
       DecodeResult::kMalformed},
      {"AS_PATH with a zero-length segment", updateRecord({}, attribute(0x40, 2, {2, 0}), {}),
       DecodeResult::kMalformed},
      {"AS_PATH with an unknown segment type",
       updateRecord({}, attribute(0x40, 2, {7, 1, 0, 0, 0, 1}), {}), DecodeResult::kMalformed},
      {"AS_PATH with a stray byte", updateRecord({}, attribute(0x40, 2, {2, 1, 0, 0, 0, 1, 2}), {}),
       DecodeResult::kMalformed},
      {"AS_PATH segment beyond the attribute",
       updateRecord({}, attribute(0x40, 2, {2, 2, 0, 0, 0, 1}), {}), DecodeResult::kMalformed},
      {"malformed AS4_PATH leaves the message alone",
       updateRecord({}, concat({path, attribute(0xc0, 17, {2, 0})}), {}), DecodeResult::kUpdate},
      {"malformed AGGREGATOR leaves the message alone",
       updateRecord({}, concat({path, attribute(0xc0, 7, {1})}), {}), DecodeResult::kUpdate},
      {"MP_REACH without its SAFI", updateRecord({}, attribute(0x80, 14, {0, 1}), {}),
       DecodeResult::kMalformed},
      {"MP_REACH next hop beyond the attribute",
       updateRecord({}, attribute(0x80, 14, {0, 1, 1, 16, 10, 0, 0, 1}), {}),
       DecodeResult::kMalformed},
      {"MP_REACH without the reserved byte",
       updateRecord({}, attribute(0x80, 14, {0, 1, 1, 4, 10, 0, 0, 1}), {}),
       DecodeResult::kMalformed},
      {"MP_REACH of another family without the reserved byte",
       updateRecord({}, attribute(0x80, 14, {0, 1, 128, 0}), {}), DecodeResult::kMalformed},
      {"MP_REACH IPv4 /33",
       updateRecord({}, mpReachAttribute(1, 1, address("192.0.2.1"), {33, 1, 2, 3, 4, 5}), {}),
       DecodeResult::kMalformed},
      {"MP_REACH IPv6 /129",
       updateRecord(
           {}, mpReachAttribute(2, 1, address("2001:db8::1"), concat({Bytes{129}, Bytes(17, 0)})),
           {}),
       DecodeResult::kMalformed},
      {"MP_REACH IPv6 cut inside a prefix",
       updateRecord({}, mpReachAttribute(2, 1, address("2001:db8::1"), {64, 0x20, 1}), {}),
       DecodeResult::kMalformed},
      {"MP_REACH of SAFI 128 with any NLRI",
       updateRecord({}, mpReachAttribute(1, 128, Bytes(12, 0), {200, 1, 2}), {}),
       DecodeResult::kUpdate},
      {"MP_REACH of AFI 25 with any NLRI",
       updateRecord({}, mpReachAttribute(25, 1, Bytes(4, 0), {200}), {}), DecodeResult::kUpdate},
      {"MP_REACH with an empty next hop",
       updateRecord({}, mpReachAttribute(1, 1, {}, prefixes({"10.0.0.0/8"})), {}),
       DecodeResult::kUpdate},
      {"MP_UNREACH without its SAFI", updateRecord({}, attribute(0x80, 15, {0, 2}), {}),
       DecodeResult::kMalformed},
      {"MP_UNREACH IPv4 /40", updateRecord({}, mpUnreachAttribute(1, 2, {40, 1, 2, 3, 4, 5}), {}),
       DecodeResult::kMalformed},
      {"MP_UNREACH of SAFI 4 with any NLRI", updateRecord({}, mpUnreachAttribute(1, 4, {255}), {}),
       DecodeResult::kUpdate},
  };
  for (const MalformedCase& c : cases) {
    EXPECT_EQ(resultOf(c.record), c.expected) << c.name;
  }
}

TEST(Bgp4mpDecode, AttributeFlagsMarkTypes1To32) {
  Bytes attributes = concat(
      {originAttribute(), attribute(0x40, 5, u32be(100)), attribute(0xc0, 8, u32be(1)),
       attribute(0x40, 32, Bytes(12, 0)), attribute(0x40, 0, {}), attribute(0x40, 33, {}),
       attribute(0xc0, 255, {1, 2}), attribute(0x80, 14, concat({u16be(2), Bytes{1, 0, 0}}))});
  UpdateDecoder decoder;
  BgpUpdate update;
  Bytes record = updateRecord({}, attributes, {});
  ASSERT_EQ(decodeRecord(decoder, record, update), DecodeResult::kUpdate);
  EXPECT_EQ(update.attributeFlags, attributeBit(1) | attributeBit(5) | attributeBit(8) |
                                       attributeBit(14) | attributeBit(32));
  EXPECT_EQ(update.asPath, nullptr);
}

TEST(Bgp4mpDecode, ExtendedLengthAttributesAreRead) {
  // A 300-ASN AS_PATH (two segments) needs the 2-byte length.
  std::vector<std::uint32_t> first(255, 3356);
  std::vector<std::uint32_t> second(45, 174);
  Bytes path = asPathAttribute({{kAsSequence, first}, {kAsSequence, second}}, 4);
  ASSERT_EQ(path[0] & 0x10, 0x10);
  // An extended length on a short value is legal too.
  Bytes origin = attribute(0x50, 1, {0});
  UpdateDecoder decoder;
  BgpUpdate update;
  Bytes record = updateRecord({}, concat({origin, path}), prefixes({"10.0.0.0/8"}));
  ASSERT_EQ(decodeRecord(decoder, record, update), DecodeResult::kUpdate);
  ASSERT_NE(update.asPath, nullptr);
  std::string text(update.asPath->text());
  EXPECT_EQ(text.substr(0, 10), "3356 3356 ");
  EXPECT_EQ(text.substr(text.size() - 8), " 174 174");
  EXPECT_EQ(update.attributeFlags, attributeBit(1) | attributeBit(2));
}

TEST(Bgp4mpDecode, FirstCopyOfARepeatedAttributeCounts) {
  Bytes first = asPathAttribute({{kAsSequence, {64500, 1}}}, 4);
  Bytes second = asPathAttribute({{kAsSequence, {64500, 2}}}, 4);
  Bytes broken = attribute(0x40, 2, {2, 0});
  for (const Bytes& later : {second, broken}) {
    UpdateDecoder decoder;
    BgpUpdate update;
    Bytes record = updateRecord({}, concat({first, later}), prefixes({"10.0.0.0/8"}));
    ASSERT_EQ(decodeRecord(decoder, record, update), DecodeResult::kUpdate);
    ASSERT_NE(update.asPath, nullptr);
    EXPECT_EQ(update.asPath->text(), "64500 1");
  }
}

TEST(Bgp4mpDecode, EmptyAsPathIsAnEmptyTextNotAMissingPath) {
  UpdateDecoder decoder;
  BgpUpdate update;
  Bytes record = updateRecord({}, attribute(0x40, 2, {}), prefixes({"10.0.0.0/8"}));
  ASSERT_EQ(decodeRecord(decoder, record, update), DecodeResult::kUpdate);
  ASSERT_NE(update.asPath, nullptr);
  EXPECT_EQ(update.asPath->text(), "");
}

TEST(Bgp4mpDecode, MpListsAreFiledByAfiAndSafi) {
  Bytes nh4 = address("192.0.2.1");
  Bytes nh6 = concat({address("2001:db8::1"), address("fe80::1")});
  Bytes attributes = concat({
      mpUnreachAttribute(1, 2, prefixes({"10.2.0.0/16"})),
      mpReachAttribute(1, 1, nh4, prefixes({"10.1.0.0/16", "10.1.1.0/24"})),
      mpReachAttribute(1, 2, nh4, prefixes({"10.2.0.0/16"})),
      mpReachAttribute(1, 3, nh4, prefixes({"10.3.0.0/16"})),
      mpReachAttribute(2, 1, nh6, prefixes({"2001:db8:1::/48"})),
      mpUnreachAttribute(2, 3, prefixes({"2001:db8:3::/48", "2001:db8:4::/48"})),
      mpUnreachAttribute(1, 1, prefixes({"10.9.0.0/16"})),
      // Repeats of a pair already seen: passed over, even when broken.
      mpReachAttribute(1, 1, nh4, prefixes({"10.99.0.0/16"})),
      mpUnreachAttribute(1, 2, {40, 1}),
      // Other families: present, not filed.
      mpReachAttribute(1, 128, Bytes(12, 0), {88, 0, 0, 1, 1, 2, 3, 4, 5, 6, 7}),
      mpReachAttribute(25, 65, nh4, {}),
  });
  UpdateDecoder decoder;
  BgpUpdate update;
  Bytes record = updateRecord({}, attributes, {});
  ASSERT_EQ(decodeRecord(decoder, record, update), DecodeResult::kUpdate);
  EXPECT_EQ(prefixTexts(update.mpAnnounced[1][1]), (Texts{"10.1.0.0/16", "10.1.1.0/24"}));
  EXPECT_EQ(prefixTexts(update.mpAnnounced[1][2]), (Texts{"10.2.0.0/16"}));
  EXPECT_EQ(prefixTexts(update.mpAnnounced[1][3]), (Texts{"10.3.0.0/16"}));
  EXPECT_EQ(update.mpAnnounced[2][1].size(), 1u);
  EXPECT_EQ(update.mpAnnounced[2][1].afi(), kAfiIpv6);
  EXPECT_TRUE(update.mpAnnounced[2][2].empty());
  EXPECT_EQ(prefixTexts(update.mpWithdrawn[1][1]), (Texts{"10.9.0.0/16"}));
  EXPECT_EQ(prefixTexts(update.mpWithdrawn[1][2]), (Texts{"10.2.0.0/16"}));
  EXPECT_TRUE(update.mpWithdrawn[1][3].empty());
  EXPECT_EQ(update.mpWithdrawn[2][3].size(), 2u);
  EXPECT_EQ(update.attributeFlags, attributeBit(14) | attributeBit(15));
  EXPECT_TRUE(update.withdrawn.empty());
  EXPECT_TRUE(update.announced.empty());

  // The next message starts from empty lists.
  Bytes plain = updateRecord({}, {}, prefixes({"10.0.0.0/8"}));
  ASSERT_EQ(decodeRecord(decoder, plain, update), DecodeResult::kUpdate);
  for (const auto& side : {update.mpAnnounced, update.mpWithdrawn}) {
    for (const auto& byAfi : side) {
      for (const PrefixList& list : byAfi) EXPECT_TRUE(list.empty());
    }
  }
  EXPECT_EQ(update.attributeFlags, 0u);

  // Also after a message that filled a list and then broke: nothing of it is left.
  ASSERT_EQ(decodeRecord(decoder, record, update), DecodeResult::kUpdate);
  Bytes broken = updateRecord(
      {}, concat({mpReachAttribute(1, 2, nh4, prefixes({"10.7.0.0/16"})), Bytes{0x40, 2, 9}}), {});
  ASSERT_EQ(decodeRecord(decoder, broken, update), DecodeResult::kMalformed);
  ASSERT_EQ(decodeRecord(decoder, plain, update), DecodeResult::kUpdate);
  for (const auto& side : {update.mpAnnounced, update.mpWithdrawn}) {
    for (const auto& byAfi : side) {
      for (const PrefixList& list : byAfi) EXPECT_TRUE(list.empty());
    }
  }
}

struct As4Case {
  const char* name;
  bool as4Session;
  Bytes extra;  // attributes after the AS_PATH
  const char* text;
};

TEST(Bgp4mpDecode, As4PathMergesOnlyWhereRfc6793Allows) {
  Bytes as4Path = as4PathAttribute({{kAsSequence, {4200000001u, 4200000002u}}});
  const As4Case cases[] = {
      {"2-byte session merges", false, as4Path, "3356 4200000001 4200000002"},
      {"AGGREGATOR AS_TRANS with AS4_AGGREGATOR merges", false,
       concat({as4Path, aggregatorAttribute(23456, 2), as4AggregatorAttribute(4200000009u)}),
       "3356 4200000001 4200000002"},
      {"AGGREGATOR of a real AS with AS4_AGGREGATOR: ignored", false,
       concat({aggregatorAttribute(100, 2), as4Path, as4AggregatorAttribute(4200000009u)}),
       "3356 23456 23456"},
      {"AGGREGATOR of a real AS alone still merges", false,
       concat({as4Path, aggregatorAttribute(100, 2)}), "3356 4200000001 4200000002"},
      {"AS4_AGGREGATOR alone still merges", false,
       concat({as4Path, as4AggregatorAttribute(4200000009u)}), "3356 4200000001 4200000002"},
      {"4-byte session ignores AS4_PATH", true, as4Path, "3356 23456 23456"},
  };
  for (const As4Case& c : cases) {
    Session session;
    session.as4 = c.as4Session;
    Bytes path = asPathAttribute({{kAsSequence, {3356, 23456, 23456}}}, c.as4Session ? 4 : 2);
    Bytes record = updateRecord({}, concat({originAttribute(), path, c.extra}),
                                prefixes({"10.0.0.0/8"}), session);
    UpdateDecoder decoder;
    BgpUpdate update;
    ASSERT_EQ(decodeRecord(decoder, record, update), DecodeResult::kUpdate) << c.name;
    ASSERT_NE(update.asPath, nullptr) << c.name;
    EXPECT_EQ(update.asPath->text(), c.text) << c.name;
  }
}

TEST(Bgp4mpDecode, As4PathWithoutAsPathGivesNoPath) {
  Session session;
  session.as4 = false;
  Bytes record = updateRecord({}, as4PathAttribute({{kAsSequence, {4200000001u}}}),
                              prefixes({"10.0.0.0/8"}), session);
  UpdateDecoder decoder;
  BgpUpdate update;
  ASSERT_EQ(decodeRecord(decoder, record, update), DecodeResult::kUpdate);
  EXPECT_EQ(update.asPath, nullptr);
  EXPECT_EQ(update.attributeFlags, attributeBit(17));
}

// A record that uses every part of the decoder.
Bytes richRecord(std::uint16_t type, bool as4) {
  Session session;
  session.as4 = as4;
  session.peerIp = "2001:db8::1";
  session.localIp = "2001:db8::2";
  Bytes attributes = concat({
      originAttribute(),
      asPathAttribute({{kAsSequence, {3356, 23456}}, {kAsSet, {1, 2}}}, as4 ? 4 : 2),
      nextHopAttribute(),
      as4PathAttribute({{kAsSequence, {4200000001u}}, {kAsSet, {1, 2}}}),
      aggregatorAttribute(23456, as4 ? 4 : 2),
      mpReachAttribute(1, 2, address("192.0.2.1"), prefixes({"10.2.0.0/16"})),
      mpUnreachAttribute(2, 1, prefixes({"2001:db8:5::/48"})),
  });
  Bytes message =
      bgpMessage(2, updateBody(prefixes({"10.0.0.0/8"}), attributes, prefixes({"192.0.2.0/24"})));
  return mrtRecord(77, type, as4 ? 4 : 1, bgp4mpBody(session, message),
                   type == 17 ? std::optional<std::uint32_t>(5) : std::nullopt);
}

TEST(Bgp4mpDecode, EveryTruncationOfAValidRecordIsMalformed) {
  for (std::uint16_t type : {16, 17}) {
    for (bool as4 : {false, true}) {
      Bytes full = richRecord(type, as4);
      ASSERT_EQ(resultOf(full), DecodeResult::kUpdate);
      for (std::size_t length = 12; length < full.size(); ++length) {
        // The MRT length says what is there: the record is whole, its message is not.
        Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
        std::uint32_t bodyLength = static_cast<std::uint32_t>(length - 12);
        Bytes size = u32be(bodyLength);
        std::copy(size.begin(), size.end(), cut.begin() + 8);
        EXPECT_EQ(resultOf(cut), DecodeResult::kMalformed)
            << "type " << type << " as4 " << as4 << " cut to " << length;
      }
    }
  }
}

TEST(Bgp4mpDecode, CorruptedBytesNeverLeadOutOfBounds) {
  // Each byte of a valid record replaced by values that upset lengths and types. The sanitizer
  // builds catch any read out of bounds; here every outcome must also be usable.
  Bytes full = richRecord(17, false);
  for (std::size_t at = 12; at < full.size(); ++at) {
    for (std::uint8_t value : {0x00, 0x01, 0x10, 0x7f, 0x80, 0xfe, 0xff}) {
      Bytes corrupt = full;
      corrupt[at] = value;
      UpdateDecoder decoder;
      BgpUpdate update;
      if (decodeRecord(decoder, corrupt, update) != DecodeResult::kUpdate) continue;
      for (const PrefixList* list :
           {&update.withdrawn, &update.announced, &update.mpAnnounced[1][2]}) {
        for (const Ipv4Prefix& prefix : list->ipv4()) EXPECT_LE(prefix.length, 32) << at;
      }
      if (update.asPath != nullptr) (void)update.asPath->text();
    }
  }
}

}  // namespace
}  // namespace tarvex::mrt
