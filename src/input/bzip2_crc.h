// The CRC that bzip2 keeps over each block's decompressed bytes: CRC-32 with the polynomial
// 0x04c11db7, fed most significant bit first (not the reflected CRC-32 of gzip and zlib).
//
// The block decoder checks every block against it, so it runs over every byte a bzip2 dump
// yields; it works eight bytes per step through eight tables (slicing by eight).
#pragma once

#include <cstdint>
#include <span>

namespace tarvex::input {

/// The running CRC before any byte.
inline constexpr std::uint32_t kBzip2CrcStart = 0xffffffffu;

/// The running CRC `crc` carried on over `bytes`, for a block whose bytes come in pieces.
std::uint32_t bzip2CrcUpdate(std::uint32_t crc, std::span<const std::uint8_t> bytes);

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
