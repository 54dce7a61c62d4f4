#include "mrt/bgp4mp.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "mrt/attributes.h"
#include "mrt/byte_cursor.h"

namespace tarvex::mrt {

namespace {

constexpr std::size_t kBgpMarkerSize = 16;
constexpr std::size_t kBgpHeaderSize = 19;  // marker, length, type

bool readAddress(ByteCursor& cursor, std::size_t size, std::array<std::uint8_t, 16>& out) {
  std::span<const std::uint8_t> bytes;
  if (!cursor.bytes(size, bytes)) return false;
  out = {};
  if (size == 4) {
    std::memcpy(out.data(), bytes.data(), 4);
  } else {
    std::memcpy(out.data(), bytes.data(), 16);
  }
  return true;
}

bool readAs(ByteCursor& cursor, unsigned width, std::uint32_t& out) {
  if (width == 4) return cursor.u32be(out);
  std::uint16_t narrow = 0;
  if (!cursor.u16be(narrow)) return false;
  out = narrow;
  return true;
}

// RFC 6793 section 4.2.3: an AGGREGATOR that names a real 2-byte AS (not AS_TRANS) next to an
// AS4_AGGREGATOR means a 2-byte speaker aggregated the route after the AS4_PATH was written, so
// the AS4_PATH no longer describes the path.
bool as4PathApplies(const PathAttributes& attributes) {
  if (!attributes.has(kAttrAs4Path)) return false;
  if (attributes.has(kAttrAggregator) && attributes.has(kAttrAs4Aggregator)) {
    ByteCursor aggregator(attributes.aggregator);
    std::uint16_t asn = 0;
    if (aggregator.u16be(asn) && asn != kAsTrans) return false;
  }
  return true;
}

// Empties the lists that the last message filled.
void clearMpLists(MpLists& lists, std::uint8_t& filled) {
  if (filled == 0) return;  // most messages carry no MP list of a kept family
  for (unsigned afi = kAfiIpv4; afi <= kAfiIpv6; ++afi) {
    for (unsigned safi = kSafiUnicast; safi <= kSafiUnicastMulticast; ++safi) {
      if ((filled & mpListBit(afi, safi)) != 0) lists[afi][safi] = PrefixList();
    }
  }
  filled = 0;
}

// The BGP4MP session header (RFC 6396 section 4.4.2), up to the BGP message.
[[gnu::always_inline]] inline bool readSessionHeader(const MrtRecord& record, unsigned asnWidth,
                                                     ByteCursor& body, Bgp4mpMessageHeader& header,
                                                     std::array<std::uint8_t, 16>& peerAddress,
                                                     std::array<std::uint8_t, 16>& localAddress) {
  if (record.type == kMrtTypeBgp4mpEt && !body.u32be(header.microseconds)) return false;
  std::uint16_t interfaceIndex = 0;
  if (!readAs(body, asnWidth, header.peerAs) || !readAs(body, asnWidth, header.localAs) ||
      !body.u16be(interfaceIndex) || !body.u16be(header.afi)) {
    return false;
  }
  std::size_t addressSize = 0;
  if (header.afi == kAfiIpv4) {
    addressSize = 4;
  } else if (header.afi == kAfiIpv6) {
    addressSize = 16;
  } else {
    return false;
  }
  return readAddress(body, addressSize, peerAddress) &&
         readAddress(body, addressSize, localAddress);
}

// The BGP message header (RFC 4271 section 4.1): marker, length, type.
[[gnu::always_inline]] inline bool readBgpHeader(ByteCursor& body, Bgp4mpMessageHeader& header) {
  static constexpr std::uint8_t kMarker[kBgpMarkerSize] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                                           0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                                           0xff, 0xff, 0xff, 0xff};
  std::span<const std::uint8_t> marker;
  if (!body.bytes(kBgpMarkerSize, marker)) return false;
  if (std::memcmp(marker.data(), kMarker, kBgpMarkerSize) != 0) return false;
  return body.u16be(header.messageLength) && body.u8(header.messageType);
}

// Both headers: the work of `readBgp4mpMessageHeader`, inlined into the decoder, whose every
// record starts here.
[[gnu::always_inline]] inline bool readMessageHeader(const MrtRecord& record, unsigned asnWidth,
                                                     ByteCursor& body, Bgp4mpMessageHeader& header,
                                                     std::array<std::uint8_t, 16>& peerAddress,
                                                     std::array<std::uint8_t, 16>& localAddress) {
  return readSessionHeader(record, asnWidth, body, header, peerAddress, localAddress) &&
         readBgpHeader(body, header);
}

}  // namespace

bool readBgp4mpMessageHeader(const MrtRecord& record, unsigned asnWidth, ByteCursor& body,
                             Bgp4mpMessageHeader& header, std::array<std::uint8_t, 16>& peerAddress,
                             std::array<std::uint8_t, 16>& localAddress) {
  return readMessageHeader(record, asnWidth, body, header, peerAddress, localAddress);
}

// The one place that decides which records are searched: the type and subtype first, the BGP
// message type once its header is read. The UPDATE body stays in this function: taken out into
// helpers, even inlined ones, it decoded measurably slower.
DecodeResult UpdateDecoder::decode(const MrtRecord& record, BgpUpdate& update) {
  if (record.type != kMrtTypeBgp4mp && record.type != kMrtTypeBgp4mpEt) {
    return DecodeResult::kNotSelected;
  }
  if (record.subtype != kSubtypeMessage && record.subtype != kSubtypeMessageAs4) {
    return DecodeResult::kNotSelected;
  }
  const unsigned asnWidth = record.subtype == kSubtypeMessageAs4 ? 4 : 2;
  ByteCursor body(record.body);
  Bgp4mpMessageHeader header;
  if (!readMessageHeader(record, asnWidth, body, header, update.peerAddress, update.localAddress)) {
    return DecodeResult::kMalformed;
  }
  // The length counts the 19 header bytes; bytes of the record after the message are ignored.
  if (header.messageLength < kBgpHeaderSize) return DecodeResult::kMalformed;
  ByteCursor message;
  if (!body.sub(header.messageLength - kBgpHeaderSize, message)) return DecodeResult::kMalformed;
  if (header.messageType != kBgpMessageUpdate) return DecodeResult::kNotSelected;

  std::uint16_t withdrawnLength = 0;
  ByteCursor withdrawnBytes;
  std::uint16_t attributesLength = 0;
  ByteCursor attributeBytes;
  if (!message.u16be(withdrawnLength) || !message.sub(withdrawnLength, withdrawnBytes) ||
      !message.u16be(attributesLength) || !message.sub(attributesLength, attributeBytes)) {
    return DecodeResult::kMalformed;
  }
  if (!parsePrefixList(withdrawnBytes.rest(), kAfiIpv4, update.withdrawn) ||
      !parsePrefixList(message.rest(), kAfiIpv4, update.announced)) {
    return DecodeResult::kMalformed;
  }

  clearMpLists(update.mpAnnounced, update.mpAnnouncedFilled);
  clearMpLists(update.mpWithdrawn, update.mpWithdrawnFilled);
  PathAttributes& attributes = attributes_;
  attributes.present = 0;
  if (!decodeAttributes(attributeBytes.rest(), asnWidth, attributes, update)) {
    return DecodeResult::kMalformed;
  }

  update.time = record.timestamp;
  update.microseconds = header.microseconds;
  update.type = record.type;
  update.subtype = record.subtype;
  update.bgpType = header.messageType;
  update.peerAs = header.peerAs;
  update.localAs = header.localAs;
  update.addressFamily = header.afi;
  update.hasAttributes = attributesLength != 0;
  update.attributeFlags = attributes.present;
  update.asPath = nullptr;
  if (attributes.has(kAttrAsPath)) {
    // In 4-byte sessions the AS_PATH already holds the real ASNs and AS4_PATH is ignored.
    if (asnWidth == 2 && as4PathApplies(attributes)) {
      asPath_.assignWithAs4Path(attributes.asPath, attributes.as4Path);
    } else {
      asPath_.assign(attributes.asPath, asnWidth);
    }
    update.asPath = &asPath_;
  }
  return DecodeResult::kUpdate;
}

}  // namespace tarvex::mrt
