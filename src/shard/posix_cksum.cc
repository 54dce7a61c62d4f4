#include "shard/posix_cksum.h"

#include <array>

#include "shard/file_text.h"

namespace tarvex::shard {

namespace {

// CRC-32 with the polynomial 0x04C11DB7, most significant bit first, as POSIX defines it.
constexpr std::array<std::uint32_t, 256> makeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i << 24;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    table[i] = crc;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = makeTable();

std::uint32_t addByte(std::uint32_t crc, unsigned char byte) {
  return (crc << 8) ^ kTable[((crc >> 24) ^ byte) & 0xFF];
}

}  // namespace

std::uint32_t posixCksum(std::string_view bytes) {
  std::uint32_t crc = 0;
  for (char c : bytes) crc = addByte(crc, static_cast<unsigned char>(c));
  // The length follows the data, least significant byte first, in as few bytes as it needs.
  for (std::size_t length = bytes.size(); length != 0; length >>= 8) {
    crc = addByte(crc, static_cast<unsigned char>(length & 0xFF));
  }
  return ~crc;
}

std::optional<std::string> cksumLineOfFile(const std::string& path) {
  const std::optional<std::string> bytes = fileTextIfReadable(path);
  if (!bytes) return std::nullopt;
  return std::to_string(posixCksum(*bytes)) + " " + std::to_string(bytes->size());
}

}  // namespace tarvex::shard
