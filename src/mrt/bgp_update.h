// The decoded view of one BGP4MP UPDATE message: what the update walk, the match rules and the
// report line read.
//
// A `BgpUpdate` holds views into the record buffer of the `MrtReader` that produced it and is
// valid only until the next record is read. Prefix lists are kept as their checked wire bytes and
// decoded while they are iterated, so decoding a message allocates nothing. Every list and the
// AS path were checked when the message was decoded: a message that reaches the walk is well
// formed throughout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "mrt/prefix_list.h"

namespace tarvex::mrt {

inline constexpr std::uint16_t kMrtTypeBgp4mp = 16;
inline constexpr std::uint16_t kMrtTypeBgp4mpEt = 17;
inline constexpr std::uint16_t kSubtypeMessage = 1;
inline constexpr std::uint16_t kSubtypeMessageAs4 = 4;
inline constexpr std::uint8_t kBgpMessageUpdate = 2;

inline constexpr std::uint8_t kSafiUnicast = 1;
inline constexpr std::uint8_t kSafiMulticast = 2;
inline constexpr std::uint8_t kSafiUnicastMulticast = 3;

inline constexpr std::uint8_t kAttrAsPath = 2;
inline constexpr std::uint8_t kAttrAggregator = 7;
inline constexpr std::uint8_t kAttrMpReachNlri = 14;
inline constexpr std::uint8_t kAttrMpUnreachNlri = 15;
inline constexpr std::uint8_t kAttrAs4Path = 17;
inline constexpr std::uint8_t kAttrAs4Aggregator = 18;

/// Bit of attribute type `type` (1..32) in `BgpUpdate::attributeFlags`.
constexpr std::uint32_t attributeBit(unsigned type) {
  return std::uint32_t{1} << (type - 1);
}

/// MP prefix lists indexed [afi][safi] for AFI 1..2 and SAFI 1..3; index 0 stays empty.
using MpLists = std::array<std::array<PrefixList, 4>, 3>;

/// Bit of the list [afi][safi] (AFI 1..2, SAFI 1..3) in the `...Filled` masks of `BgpUpdate`.
constexpr std::uint8_t mpListBit(unsigned afi, unsigned safi) {
  return static_cast<std::uint8_t>(1u << ((afi - 1u) * 3u + (safi - 1u)));
}

class AsPath;

/// One decoded BGP4MP or BGP4MP_ET UPDATE message.
struct BgpUpdate {
  std::int64_t time = 0;           // seconds since the Unix epoch, from the MRT header
  std::uint32_t microseconds = 0;  // BGP4MP_ET only
  std::uint16_t type = 0;          // MRT type
  std::uint16_t subtype = 0;       // MRT subtype
  std::uint8_t bgpType = 0;        // BGP message type
  std::uint32_t peerAs = 0;
  std::uint32_t localAs = 0;
  std::uint16_t addressFamily = 0;              // AFI of the two session addresses
  std::array<std::uint8_t, 16> peerAddress{};   // IPv4 in the first four bytes
  std::array<std::uint8_t, 16> localAddress{};  // IPv4 in the first four bytes

  PrefixList withdrawn;  // IPv4 withdrawn routes of the message itself
  PrefixList announced;  // IPv4 NLRI of the message itself

  bool hasAttributes = false;        // the path attribute block is not empty
  std::uint32_t attributeFlags = 0;  // attributeBit(type) for every type 1..32 present

  /// MP_UNREACH_NLRI and MP_REACH_NLRI lists, indexed [afi][safi] for AFI 1..2, SAFI 1..3.
  MpLists mpWithdrawn{};
  MpLists mpAnnounced{};
  /// `mpListBit` of every list above that is filled; the decoder empties just those before it
  /// decodes the next message into the same update.
  std::uint8_t mpWithdrawnFilled = 0;
  std::uint8_t mpAnnouncedFilled = 0;

  /// The AS path, or null when the message carries no AS_PATH attribute.
  const AsPath* asPath = nullptr;
};

}  // namespace tarvex::mrt
