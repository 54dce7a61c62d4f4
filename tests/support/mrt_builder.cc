#include "mrt_builder.h"

#include <arpa/inet.h>
#include <bzlib.h>
#include <zlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tarvex::testing {

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) append(out, part);
  return out;
}

void append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}

Bytes u16be(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes u32be(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes mrtRecord(std::uint32_t timestamp, std::uint16_t type, std::uint16_t subtype,
                const Bytes& body, std::optional<std::uint32_t> microseconds) {
  Bytes payload;
  if (microseconds) append(payload, u32be(*microseconds));
  append(payload, body);
  return concat({u32be(timestamp), u16be(type), u16be(subtype),
                 u32be(static_cast<std::uint32_t>(payload.size())), payload});
}

Bytes address(const std::string& text) {
  std::uint8_t buffer[16];
  if (inet_pton(AF_INET, text.c_str(), buffer) == 1) return Bytes(buffer, buffer + 4);
  if (inet_pton(AF_INET6, text.c_str(), buffer) == 1) return Bytes(buffer, buffer + 16);
  throw std::runtime_error("not an address: " + text);
}

Bytes bgp4mpBody(const Session& session, const Bytes& bgpMessage) {
  Bytes peer = address(session.peerIp);
  Bytes local = address(session.localIp);
  Bytes out;
  if (session.as4) {
    append(out, u32be(session.peerAs));
    append(out, u32be(session.localAs));
  } else {
    append(out, u16be(session.peerAs));
    append(out, u16be(session.localAs));
  }
  append(out, u16be(session.interfaceIndex));
  append(out, u16be(peer.size() == 16 ? 2 : 1));
  append(out, peer);
  append(out, local);
  append(out, bgpMessage);
  return out;
}

Bytes bgpMessage(std::uint8_t type, const Bytes& body) {
  Bytes out(16, 0xff);
  append(out, u16be(static_cast<std::uint32_t>(19 + body.size())));
  out.push_back(type);
  append(out, body);
  return out;
}

Bytes updateBody(const Bytes& withdrawn, const Bytes& attributes, const Bytes& nlri) {
  return concat({u16be(static_cast<std::uint32_t>(withdrawn.size())), withdrawn,
                 u16be(static_cast<std::uint32_t>(attributes.size())), attributes, nlri});
}

Bytes prefixes(const std::vector<std::string>& texts) {
  Bytes out;
  for (const std::string& text : texts) {
    std::size_t slash = text.find('/');
    if (slash == std::string::npos) throw std::runtime_error("not a prefix: " + text);
    Bytes addr = address(text.substr(0, slash));
    unsigned length = static_cast<unsigned>(std::stoul(text.substr(slash + 1)));
    out.push_back(static_cast<std::uint8_t>(length));
    std::size_t octets = (length + 7) / 8;
    for (std::size_t i = 0; i < octets; ++i) out.push_back(i < addr.size() ? addr[i] : 0);
  }
  return out;
}

Bytes prefixes(std::initializer_list<std::string> texts) {
  return prefixes(std::vector<std::string>(texts));
}

Bytes attribute(std::uint8_t flags, std::uint8_t type, const Bytes& value) {
  if (value.size() > 255) flags |= 0x10;
  Bytes out{flags, type};
  if (flags & 0x10) {
    append(out, u16be(static_cast<std::uint32_t>(value.size())));
  } else {
    out.push_back(static_cast<std::uint8_t>(value.size()));
  }
  append(out, value);
  return out;
}

Bytes asPathValue(const std::vector<Segment>& segments, int asnWidth) {
  Bytes out;
  for (const Segment& segment : segments) {
    out.push_back(segment.type);
    out.push_back(static_cast<std::uint8_t>(segment.asns.size()));
    for (std::uint32_t asn : segment.asns) append(out, asnWidth == 4 ? u32be(asn) : u16be(asn));
  }
  return out;
}

Bytes originAttribute(std::uint8_t origin) {
  return attribute(0x40, 1, {origin});
}

Bytes asPathAttribute(const std::vector<Segment>& segments, int asnWidth) {
  return attribute(0x40, 2, asPathValue(segments, asnWidth));
}

Bytes as4PathAttribute(const std::vector<Segment>& segments) {
  return attribute(0xc0, 17, asPathValue(segments, 4));
}

Bytes nextHopAttribute(const std::string& ipv4) {
  return attribute(0x40, 3, address(ipv4));
}

Bytes aggregatorAttribute(std::uint32_t asn, int asnWidth, const std::string& ip) {
  return attribute(0xc0, 7, concat({asnWidth == 4 ? u32be(asn) : u16be(asn), address(ip)}));
}

Bytes as4AggregatorAttribute(std::uint32_t asn, const std::string& ip) {
  return attribute(0xc0, 18, concat({u32be(asn), address(ip)}));
}

Bytes mpReachAttribute(std::uint16_t afi, std::uint8_t safi, const Bytes& nextHop,
                       const Bytes& nlri) {
  Bytes value = concat({u16be(afi), Bytes{safi, static_cast<std::uint8_t>(nextHop.size())}, nextHop,
                        Bytes{0}, nlri});
  return attribute(0x80, 14, value);
}

Bytes mpUnreachAttribute(std::uint16_t afi, std::uint8_t safi, const Bytes& nlri) {
  return attribute(0x80, 15, concat({u16be(afi), Bytes{safi}, nlri}));
}

Bytes updateRecord(const SimpleUpdate& update) {
  Bytes attributes;
  if (update.withPath || !update.announced.empty()) {
    append(attributes, originAttribute());
  }
  if (update.withPath) {
    append(attributes, asPathAttribute(update.path, update.session.as4 ? 4 : 2));
  }
  if (!update.announced.empty())
    append(attributes, nextHopAttribute(update.session.peerIp.find(':') == std::string::npos
                                            ? update.session.peerIp
                                            : "192.0.2.1"));
  append(attributes, update.extraAttributes);
  Bytes message =
      bgpMessage(2, updateBody(prefixes(update.withdrawn), attributes, prefixes(update.announced)));
  std::uint16_t subtype = update.session.as4 ? 4 : 1;
  if (update.extendedTimestamp) {
    return mrtRecord(update.time, 17, subtype, bgp4mpBody(update.session, message), 0);
  }
  return mrtRecord(update.time, 16, subtype, bgp4mpBody(update.session, message));
}

Bytes gzipCompress(const Bytes& data) {
  z_stream stream{};
  if (deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())) + 64);
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  int result = deflate(&stream, Z_FINISH);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
  out.resize(stream.total_out);
  return out;
}

Bytes bzip2Compress(const Bytes& data) {
  return bzip2CompressAtLevel(data, 9);
}

Bytes bzip2CompressAtLevel(const Bytes& data, int level) {
  unsigned int size = static_cast<unsigned int>(data.size() + data.size() / 100 + 600);
  Bytes out(size);
  // libbz2 refuses a null source, which an empty vector may hand out.
  static char empty[1] = {0};
  char* source =
      data.empty() ? empty : const_cast<char*>(reinterpret_cast<const char*>(data.data()));
  int result = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size, source,
                                        static_cast<unsigned int>(data.size()), level, 0, 0);
  if (result != BZ_OK) throw std::runtime_error("bzip2 compression failed");
  out.resize(size);
  return out;
}

void writeFile(const std::string& path, const Bytes& data, Compression compression) {
  Bytes encoded = compression == Compression::kGzip    ? gzipCompress(data)
                  : compression == Compression::kBzip2 ? bzip2Compress(data)
                                                       : data;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(encoded.data()),
             static_cast<std::streamsize>(encoded.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

}  // namespace tarvex::testing
