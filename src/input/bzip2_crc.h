// The CRC that bzip2 keeps over each block's decompressed bytes: CRC-32 with the polynomial
// 0x04c11db7, fed most significant bit first (not the reflected CRC-32 of gzip and zlib).
//
// The block decoder checks every block against it, so it runs over every byte a bzip2 dump
// yields; it works eight bytes per step through eight tables (slicing by eight).
#pragma once

#include <cstdint>
#include <span>

namespace tarvex::input {

/// The CRC of `bytes` as bzip2 stores it for a block (initial value and final inversion
/// included).
std::uint32_t bzip2BlockCrc(std::span<const std::uint8_t> bytes);

}  // namespace tarvex::input
