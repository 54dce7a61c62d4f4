// Reads a bzip2 bit string, most significant bit first, from any bit of a byte span.
//
// The block decoder's innermost loop: it keeps up to 64 bits in a register and refills eight
// bytes at a time with one unaligned load. Reading never leaves the span: bits past its end read
// as zero and still advance the position, so a block that claims more bits than the span holds
// decodes garbage harmlessly and is caught by its end position (`position()` past
// `spanBits()`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace tarvex::input {

class Bzip2BitReader {
 public:
  Bzip2BitReader(std::span<const std::uint8_t> bytes, std::uint64_t fromBit) : bytes_(bytes) {
    next_ = static_cast<std::size_t>(fromBit / 8);
    refill();
    skip(static_cast<unsigned>(fromBit % 8));
  }

  /// Bits that `refill` guarantees: every refill leaves at least this many in the register (and
  /// at most 63).
  static constexpr unsigned kAfterRefill = 56;

  /// Tops the register up to at least `kAfterRefill` bits.
  void refill() {
    if (next_ + 8 <= bytes_.size()) {
      std::uint64_t word = 0;
      std::memcpy(&word, bytes_.data() + next_, sizeof word);
      bits_ |= __builtin_bswap64(word) >> count_;
      next_ += (63 - count_) >> 3;
      count_ |= 56;
      return;
    }
    while (count_ < 56) {
      const std::uint64_t byte = next_ < bytes_.size() ? bytes_[next_] : 0;
      bits_ |= byte << (56 - count_);
      ++next_;
      count_ += 8;
    }
  }

  /// The next `count` (1 to `count()`) bits, not consumed.
  std::uint32_t peek(unsigned count) const {
    return static_cast<std::uint32_t>(bits_ >> (64 - count));
  }
  void skip(unsigned count) {
    bits_ <<= count;
    count_ -= count;
  }
  /// Reads `count` (at most 32) bits, refilling as needed.
  std::uint32_t read(unsigned count) {
    if (count_ < count) refill();
    const std::uint32_t value = peek(count);
    skip(count);
    return value;
  }
  bool readBit() { return read(1) != 0; }

  unsigned count() const { return count_; }
  /// The bit of the span that comes next.
  std::uint64_t position() const { return std::uint64_t{next_} * 8 - count_; }
  std::uint64_t spanBits() const { return std::uint64_t{bytes_.size()} * 8; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t next_ = 0;    // the next byte to load
  std::uint64_t bits_ = 0;  // the bits at hand, from the top down
  unsigned count_ = 0;      // how many
};

}  // namespace tarvex::input
