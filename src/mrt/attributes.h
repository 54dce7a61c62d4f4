// The path attribute block of an UPDATE (RFC 4271 section 4.3):
//
//   +----------------+----------------+---------------------------+-------------+
//   | flags (1)      | type (1)       | length (1, or 2 when      | value       |
//   |                |                | flags has 0x10)           |             |
//   +----------------+----------------+---------------------------+-------------+
//
// The walk records which types (1..32) are present, keeps the AS_PATH, AS4_PATH, AGGREGATOR and
// AS4_AGGREGATOR values as views, and checks and files the prefix lists of MP_REACH_NLRI and
// MP_UNREACH_NLRI (RFC 4760) by AFI (1, 2) and SAFI (1, 2, 3); other AFI/SAFI pairs are only
// marked present. Of a repeated attribute the first copy counts and later ones are passed over;
// for the MP attributes a repeat is one with the same AFI and SAFI.
//
// Malformed, and with it the whole message: a header or value that runs past the block, an MP
// attribute too short for its fixed fields, an AS_PATH that is not well formed, or a kept MP
// prefix list that is not well formed.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "mrt/bgp_update.h"

namespace tarvex::mrt {

struct PathAttributes {
  std::uint32_t present = 0;  // attributeBit(type) for every type 1..32 in the block
  // The first value of each type, meaningful only when its bit is in `present` (they are left
  // as they were otherwise: a message costs no clearing).
  std::span<const std::uint8_t> asPath;      // well formed
  std::span<const std::uint8_t> as4Path;     // unchecked
  std::span<const std::uint8_t> aggregator;  // unchecked

  bool has(std::uint8_t type) const { return (present & attributeBit(type)) != 0; }
};

/// Walks `block`, whose AS_PATH carries ASNs of `asnWidth` bytes, filing the MP lists into
/// `update.mpAnnounced` and `update.mpWithdrawn` (and their bits into the `...Filled` masks).
/// False when the block is malformed. `out.present` must be 0 and the update's MP lists empty.
bool decodeAttributes(std::span<const std::uint8_t> block, unsigned asnWidth, PathAttributes& out,
                      BgpUpdate& update);

}  // namespace tarvex::mrt
