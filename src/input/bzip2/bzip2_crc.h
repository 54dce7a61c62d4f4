// The CRC that bzip2 keeps over each block's decompressed bytes: the most-significant-bit-first
// CRC-32 of base/crc32_msb.h, started at all ones and inverted at the end.
#pragma once

#include <cstdint>
#include <span>

#include "base/crc32_msb.h"

namespace tarvex::input {

/// The running CRC before any byte.
inline constexpr std::uint32_t kBzip2CrcStart = 0xffffffffu;

/// The running CRC `crc` carried on over `bytes`, for a block whose bytes come in pieces.
inline std::uint32_t bzip2CrcUpdate(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  return crc32MsbUpdate(crc, bytes);
}

/// The CRC of a block as bzip2 stores it, from the running CRC over all its bytes.
inline std::uint32_t bzip2CrcFinish(std::uint32_t crc) {
  return ~crc;
}

/// The CRC of `bytes` as bzip2 stores it for a block (initial value and final inversion
/// included).
inline std::uint32_t bzip2BlockCrc(std::span<const std::uint8_t> bytes) {
  return bzip2CrcFinish(bzip2CrcUpdate(kBzip2CrcStart, bytes));
}

}  // namespace tarvex::input
