#include "base/crc32_msb.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace tarvex {

namespace {

using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

// tables[0] is the classic byte-at-a-time table; tables[k][b] is the CRC contribution of byte
// `b` followed by k zero bytes, which lets eight bytes be folded in at once.
constexpr CrcTables makeTables() {
  CrcTables tables{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t crc = byte << 24;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    tables[0][byte] = crc;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t byte = 0; byte < 256; ++byte) {
      const std::uint32_t previous = tables[k - 1][byte];
      tables[k][byte] = (previous << 8) ^ tables[0][previous >> 24];
    }
  }
  return tables;
}

constexpr CrcTables kTables = makeTables();

std::uint32_t loadBigEndian32(const std::uint8_t* at) {
  std::uint32_t value = 0;
  std::memcpy(&value, at, sizeof value);
  return __builtin_bswap32(value);
}

}  // namespace

std::uint32_t crc32MsbUpdate(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  const std::uint8_t* at = bytes.data();
  std::size_t left = bytes.size();
  while (left >= 8) {
    const std::uint32_t high = loadBigEndian32(at) ^ crc;
    const std::uint32_t low = loadBigEndian32(at + 4);
    crc = kTables[7][high >> 24] ^ kTables[6][(high >> 16) & 0xff] ^
          kTables[5][(high >> 8) & 0xff] ^ kTables[4][high & 0xff] ^ kTables[3][low >> 24] ^
          kTables[2][(low >> 16) & 0xff] ^ kTables[1][(low >> 8) & 0xff] ^ kTables[0][low & 0xff];
    at += 8;
    left -= 8;
  }
  for (; left != 0; --left, ++at) crc = (crc << 8) ^ kTables[0][(crc >> 24) ^ *at];
  return crc;
}

}  // namespace tarvex
