#include "shard/posix_cksum.h"

#include <array>
#include <cstddef>

#include "base/crc32_msb.h"
#include "shard/file_text.h"

namespace tarvex::shard {

std::uint32_t posixCksum(std::string_view bytes) {
  std::uint32_t crc =
      crc32MsbUpdate(0, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  // The length follows the data, least significant byte first, in as few bytes as it needs.
  std::array<std::uint8_t, sizeof(std::size_t)> length{};
  std::size_t used = 0;
  for (std::size_t left = bytes.size(); left != 0; left >>= 8) {
    length[used++] = static_cast<std::uint8_t>(left & 0xff);
  }
  return ~crc32MsbUpdate(crc, {length.data(), used});
}

std::optional<std::string> cksumLineOfFile(const std::string& path) {
  const std::optional<std::string> bytes = fileTextIfReadable(path);
  if (!bytes) return std::nullopt;
  return std::to_string(posixCksum(*bytes)) + " " + std::to_string(bytes->size());
}

}  // namespace tarvex::shard
