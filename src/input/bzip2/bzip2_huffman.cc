#include "input/bzip2/bzip2_huffman.h"

namespace tarvex::input {

bool Bzip2HuffmanTable::build(std::span<const std::uint8_t> lengths) {
  if (lengths.size() > sorted_.size()) return false;
  std::array<std::uint16_t, kMaxCodeLength + 1> counts{};
  for (const std::uint8_t length : lengths) {
    if (length == 0 || length > kMaxCodeLength) return false;
    ++counts[length];
  }
  // Canonical codes: the first code of a length follows the last of the length before.
  std::uint32_t code = 0;
  std::uint16_t offset = 0;
  std::array<std::uint32_t, kMaxCodeLength + 1> next{};
  for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
    code <<= 1;
    next[length] = code;
    offset_[length] = offset;
    first_[length] = code << (kMaxCodeLength - length);
    code += counts[length];
    offset = static_cast<std::uint16_t>(offset + counts[length]);
    if (code > (1u << length)) return false;  // oversubscribed
    limit_[length] = code << (kMaxCodeLength - length);
  }
  if (code != (1u << kMaxCodeLength)) return false;  // incomplete

  lookup_.fill(0);
  for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    const unsigned length = lengths[symbol];
    const std::uint32_t symbolCode = next[length]++;
    sorted_[offset_[length] + (symbolCode - (first_[length] >> (kMaxCodeLength - length)))] =
        static_cast<std::uint16_t>(symbol);
    if (length > kLookupBits) continue;
    const unsigned spare = kLookupBits - length;
    const auto entry = static_cast<std::uint16_t>(symbol << 5 | length);
    const std::uint32_t from = symbolCode << spare;
    for (std::uint32_t at = from; at < from + (1u << spare); ++at) lookup_[at] = entry;
  }
  return true;
}

std::uint32_t Bzip2HuffmanTable::decodeLong(Bzip2BitReader& reader) const {
  const std::uint32_t window = reader.peek(kMaxCodeLength);
  unsigned length = kLookupBits + 1;
  // The table is complete, so some length up to the longest matches.
  while (window >= limit_[length]) ++length;
  reader.skip(length);
  return sorted_[offset_[length] + ((window - first_[length]) >> (kMaxCodeLength - length))];
}

}  // namespace tarvex::input
