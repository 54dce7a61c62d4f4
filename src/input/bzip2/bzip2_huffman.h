// One Huffman table of a bzip2 block, for decoding through a lookup table.
//
// bzip2 codes are canonical: codes of one length are consecutive, shorter lengths first, and
// within a length the symbols come in increasing order. A code of up to `kLookupBits` bits is
// found with one lookup of the next `kLookupBits` bits; a longer one (rare: they are the least
// frequent symbols) by comparing the next 20 bits with the last code of each longer length.
//
// Only complete codes are accepted (every bit string starts with exactly one code), as every
// bzip2 compressor writes them. What an incomplete or oversubscribed table would decode to
// is libbz2's business alone, so the decoder refuses such a block and leaves it to libbz2.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "input/bzip2/bzip2_bit_reader.h"

namespace tarvex::input {

class Bzip2HuffmanTable {
 public:
  static constexpr unsigned kLookupBits = 10;
  static constexpr unsigned kMaxCodeLength = 20;

  /// Builds the table for symbols 0 .. lengths.size() - 1 (at most 258) with these code lengths
  /// (each 1 to 20). False when they do not form a complete prefix code.
  bool build(std::span<const std::uint8_t> lengths);

  /// Decodes one symbol; the reader must hold at least `kMaxCodeLength` bits.
  std::uint32_t decode(Bzip2BitReader& reader) const {
    const std::uint16_t entry = lookup_[reader.peek(kLookupBits)];
    if (entry != 0) {
      reader.skip(entry & 31u);
      return entry >> 5;
    }
    return decodeLong(reader);
  }

 private:
  std::uint32_t decodeLong(Bzip2BitReader& reader) const;

  // symbol << 5 | length for every bit string that starts with a short code; 0 otherwise.
  std::array<std::uint16_t, 1u << kLookupBits> lookup_{};
  // For each length: one past its last code, and its first code, left-aligned to 20 bits;
  // where its symbols start in `sorted_`.
  std::array<std::uint32_t, kMaxCodeLength + 1> limit_{};
  std::array<std::uint32_t, kMaxCodeLength + 1> first_{};
  std::array<std::uint16_t, kMaxCodeLength + 1> offset_{};
  std::array<std::uint16_t, 258> sorted_{};  // symbols by code
};

}  // namespace tarvex::input
