// CRC-32 with the polynomial 0x04c11db7, fed most significant bit first (not the reflected CRC-32
// of gzip and zlib): the CRC that bzip2 keeps over each block and the one POSIX cksum prints.
// Each user adds its own initial value, final inversion and trailer; this is the step they share.
//
// bzip2's block decoder runs it over every byte a bzip2 dump yields, so it works eight bytes per
// step through eight constant tables (slicing by eight).
#pragma once

#include <cstdint>
#include <span>

namespace tarvex {

/// The running CRC `crc` carried on over `bytes`, for a text whose bytes may come in pieces.
std::uint32_t crc32MsbUpdate(std::uint32_t crc, std::span<const std::uint8_t> bytes);

}  // namespace tarvex
