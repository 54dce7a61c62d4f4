#include "mrt/attributes.h"

#include "mrt/as_path.h"
#include "mrt/byte_cursor.h"

namespace tarvex::mrt {

namespace {

constexpr std::uint8_t kFlagExtendedLength = 0x10;

bool isKeptFamily(std::uint16_t afi, std::uint8_t safi) {
  return (afi == kAfiIpv4 || afi == kAfiIpv6) && safi >= kSafiUnicast &&
         safi <= kSafiUnicastMulticast;
}

// Files `nlri` under [afi][safi] unless a list of that pair came first. False when the list is
// not well formed.
bool fileList(MpLists& lists, std::uint8_t& filled, std::uint16_t afi, std::uint8_t safi,
              std::span<const std::uint8_t> nlri) {
  const std::uint8_t bit = mpListBit(afi, safi);
  if ((filled & bit) != 0) return true;
  if (!parsePrefixList(nlri, afi, lists[afi][safi])) return false;
  filled = static_cast<std::uint8_t>(filled | bit);
  return true;
}

//  MP_REACH_NLRI: AFI (2) | SAFI (1) | next-hop length (1) | next hop | reserved (1) | NLRI
bool decodeMpReach(std::span<const std::uint8_t> value, BgpUpdate& update) {
  ByteCursor cursor(value);
  std::uint16_t afi = 0;
  std::uint8_t safi = 0;
  std::uint8_t nextHopLength = 0;
  if (!cursor.u16be(afi) || !cursor.u8(safi) || !cursor.u8(nextHopLength)) return false;
  // The reserved byte (once the SNPA count) is skipped, as RFC 4760 says a receiver must.
  if (!cursor.skip(nextHopLength) || !cursor.skip(1)) return false;
  if (!isKeptFamily(afi, safi)) return true;
  return fileList(update.mpAnnounced, update.mpAnnouncedFilled, afi, safi, cursor.rest());
}

//  MP_UNREACH_NLRI: AFI (2) | SAFI (1) | withdrawn routes
bool decodeMpUnreach(std::span<const std::uint8_t> value, BgpUpdate& update) {
  ByteCursor cursor(value);
  std::uint16_t afi = 0;
  std::uint8_t safi = 0;
  if (!cursor.u16be(afi) || !cursor.u8(safi)) return false;
  if (!isKeptFamily(afi, safi)) return true;
  return fileList(update.mpWithdrawn, update.mpWithdrawnFilled, afi, safi, cursor.rest());
}

}  // namespace

bool decodeAttributes(std::span<const std::uint8_t> block, unsigned asnWidth, PathAttributes& out,
                      BgpUpdate& update) {
  ByteCursor cursor(block);
  while (!cursor.empty()) {
    std::uint8_t flags = 0;
    std::uint8_t type = 0;
    std::size_t length = 0;
    if (!cursor.u8(flags) || !cursor.u8(type)) return false;
    if ((flags & kFlagExtendedLength) != 0) {
      std::uint16_t wide = 0;
      if (!cursor.u16be(wide)) return false;
      length = wide;
    } else {
      std::uint8_t narrow = 0;
      if (!cursor.u8(narrow)) return false;
      length = narrow;
    }
    std::span<const std::uint8_t> value;
    if (!cursor.bytes(length, value)) return false;
    const bool repeated = type >= 1 && type <= 32 && out.has(type);
    if (type >= 1 && type <= 32) out.present |= attributeBit(type);

    switch (type) {
      case kAttrAsPath:
        if (repeated) break;
        if (!isWellFormedAsPath(value, asnWidth)) return false;
        out.asPath = value;
        break;
      case kAttrAs4Path:
        if (!repeated) out.as4Path = value;
        break;
      case kAttrAggregator:
        if (!repeated) out.aggregator = value;
        break;
      case kAttrMpReachNlri:
        if (!decodeMpReach(value, update)) return false;
        break;
      case kAttrMpUnreachNlri:
        if (!decodeMpUnreach(value, update)) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

}  // namespace tarvex::mrt
