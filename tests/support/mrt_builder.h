// Hand-built MRT data for tests, fuzz seeds and the shipped sample: byte-level builders for the
// MRT header, the BGP4MP header, BGP messages, path attributes and NLRI, and writers for plain,
// gzip and bzip2 files.
//
// Builders never validate: a test can produce any malformed encoding by passing lengths or
// flags of its own.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "mrt/prefix_list.h"

namespace tarvex::testing {

using Bytes = std::vector<std::uint8_t>;

Bytes concat(std::initializer_list<Bytes> parts);
void append(Bytes& out, const Bytes& more);
Bytes u16be(std::uint32_t value);
Bytes u32be(std::uint32_t value);

/// MRT common header (12 bytes) and body; BGP4MP_ET (type 17) puts `microseconds` first in the
/// body, counted by the length.
Bytes mrtRecord(std::uint32_t timestamp, std::uint16_t type, std::uint16_t subtype,
                const Bytes& body, std::optional<std::uint32_t> microseconds = std::nullopt);

/// One side of the BGP4MP header.
struct Session {
  bool as4 = true;  // subtype 4 (4-byte AS numbers) or 1
  std::uint32_t peerAs = 64500;
  std::uint32_t localAs = 64501;
  std::uint16_t interfaceIndex = 0;
  std::string peerIp = "192.0.2.1";  // IPv4 or IPv6 text; both must be of the same family
  std::string localIp = "192.0.2.2";
};

/// BGP4MP_MESSAGE(_AS4) body: the session header followed by `bgpMessage`.
Bytes bgp4mpBody(const Session& session, const Bytes& bgpMessage);

/// BGP message: 16 bytes of marker, length, type, body.
Bytes bgpMessage(std::uint8_t type, const Bytes& body);

/// UPDATE body: withdrawn routes, path attributes, NLRI (each already encoded).
Bytes updateBody(const Bytes& withdrawn, const Bytes& attributes, const Bytes& nlri);

/// NLRI encoding of prefixes given as text ("10.0.0.0/8", "2001:db8::/32"); host bits are kept.
Bytes prefixes(std::initializer_list<std::string> texts);
Bytes prefixes(const std::vector<std::string>& texts);

/// One path attribute; the extended-length flag (0x10) is set when `value` exceeds 255 bytes
/// or when `flags` asks for it.
Bytes attribute(std::uint8_t flags, std::uint8_t type, const Bytes& value);

enum SegmentType : std::uint8_t {
  kAsSet = 1,
  kAsSequence = 2,
  kConfedSequence = 3,
  kConfedSet = 4
};
struct Segment {
  SegmentType type;
  std::vector<std::uint32_t> asns;
};

/// AS_PATH (or AS4_PATH) attribute value with ASNs of `asnWidth` bytes (2 or 4).
Bytes asPathValue(const std::vector<Segment>& segments, int asnWidth);

Bytes originAttribute(std::uint8_t origin = 0);
Bytes asPathAttribute(const std::vector<Segment>& segments, int asnWidth);
Bytes as4PathAttribute(const std::vector<Segment>& segments);
Bytes nextHopAttribute(const std::string& ipv4 = "192.0.2.1");
/// AGGREGATOR with an AS of `asnWidth` bytes; AS4_AGGREGATOR is always 4 bytes.
Bytes aggregatorAttribute(std::uint32_t asn, int asnWidth, const std::string& ip = "192.0.2.9");
Bytes as4AggregatorAttribute(std::uint32_t asn, const std::string& ip = "192.0.2.9");
Bytes mpReachAttribute(std::uint16_t afi, std::uint8_t safi, const Bytes& nextHop,
                       const Bytes& nlri);
Bytes mpUnreachAttribute(std::uint16_t afi, std::uint8_t safi, const Bytes& nlri);

/// An address in network byte order (4 or 16 bytes).
Bytes address(const std::string& text);

/// A whole BGP4MP UPDATE record in the common shape: IPv4 withdrawn routes, an optional AS path
/// (absent when `path` is empty and `withPath` is false), IPv4 NLRI.
struct SimpleUpdate {
  std::uint32_t time = 900;
  Session session;
  std::vector<std::string> withdrawn;
  std::vector<std::string> announced;
  bool withPath = true;
  std::vector<Segment> path = {{kAsSequence, {64500, 64510}}};
  Bytes extraAttributes;           // appended after ORIGIN, AS_PATH and NEXT_HOP
  bool extendedTimestamp = false;  // type 17 instead of 16
};
Bytes updateRecord(const SimpleUpdate& update);

enum class Compression { kNone, kGzip, kBzip2 };

/// Writes `data` to `path`, compressed as asked. Throws std::runtime_error on failure.
void writeFile(const std::string& path, const Bytes& data,
               Compression compression = Compression::kNone);
void writeText(const std::string& path, const std::string& text);
std::string readFile(const std::string& path);

Bytes gzipCompress(const Bytes& data);
Bytes bzip2Compress(const Bytes& data);
/// bzip2 with blocks of `level` x 100 kB (1..9), so that small data spans several blocks.
Bytes bzip2CompressAtLevel(const Bytes& data, int level);

/// The prefix list that `wire` holds, as the decoder makes it; nothing when it is malformed.
inline std::optional<mrt::PrefixList> parsedPrefixList(std::span<const std::uint8_t> wire,
                                                       std::uint16_t afi) {
  mrt::PrefixList list;
  if (!mrt::parsePrefixList(wire, afi, list)) return std::nullopt;
  return list;
}

}  // namespace tarvex::testing
