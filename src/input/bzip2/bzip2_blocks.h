// The block structure of bzip2 data, as far as decoding blocks one by one needs it.
//
// A bzip2 stream is "BZh" and a level digit ('1'..'9', the block size in 100 kB), then blocks
// and an end-of-stream marker, all packed as one bit string with no byte alignment:
//
//   block:  magic 0x314159265359 (48 bits) | block CRC (32) | Huffman-coded data ...
//   end:    magic 0x177245385090 (48 bits) | combined CRC (32) | zero bits to a byte boundary
//
// The combined CRC folds the block CRCs in order: c = rotate_left(c, 1) ^ block CRC. Blocks are
// independent, so a block can be decoded alone once it is re-wrapped as a stream of one block:
// "BZh" and the level, the block's bits shifted to start on a byte, then an end marker whose
// combined CRC is the block CRC. The magic numbers can also occur by chance inside coded data,
// so a signature found in the bit string only marks a candidate boundary; libbz2's checks (the
// block must end exactly where the next signature starts, and its CRC must match) tell a real
// one from a false one.
//
// Nothing here keeps state between calls; every function is safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvex::input {

inline constexpr std::uint64_t kBzip2BlockMagic = 0x314159265359;
inline constexpr std::uint64_t kBzip2EndMagic = 0x177245385090;

/// A signature found in the bit string.
struct Bzip2Mark {
  enum class Kind : std::uint8_t { kBlock, kEnd };
  std::uint64_t bit = 0;  // where its 48 bits start
  Kind kind = Kind::kBlock;
};

/// Appends every signature of `bytes` that starts at a bit in [fromBit, toBit) and lies wholly
/// inside `bytes`, in order, with `baseBit` added to its position.
void findBzip2Marks(std::span<const std::uint8_t> bytes, std::uint64_t fromBit, std::uint64_t toBit,
                    std::uint64_t baseBit, std::vector<Bzip2Mark>& out);

/// `count` (at most 57) bits of `bytes` from bit `at` on, as a number; bits past the end read 0.
std::uint64_t readBits(std::span<const std::uint8_t> bytes, std::uint64_t at, unsigned count);

/// Writes a bit string into a byte vector, most significant bit first.
class BitWriter {
 public:
  /// Empties `out` and writes into it.
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) { out_.clear(); }

  /// Appends the low `count` (at most 32) bits of `value`.
  void put(std::uint64_t value, unsigned count);
  /// Appends `count` bits of `bytes` from bit `from` on.
  void copy(std::span<const std::uint8_t> bytes, std::uint64_t from, std::uint64_t count);
  /// Pads the last byte with zero bits.
  void finish();

 private:
  std::vector<std::uint8_t>& out_;
  std::uint64_t pending_ = 0;  // bits not yet in `out_`, in the low `pendingCount_` bits
  unsigned pendingCount_ = 0;
};

/// The most bits that a valid block of `level` can take, signature included: every part of a
/// block is bounded by the block size, so a candidate longer than this cannot be one block.
std::uint64_t maxBzip2BlockBits(int level);

/// One or more pieces of a bit string that together are believed to be one block.
struct Bzip2BitRange {
  std::span<const std::uint8_t> bytes;
  std::uint64_t from = 0;   // first bit, in `bytes`
  std::uint64_t count = 0;  // bits
};

/// Re-wraps the block made of `pieces` (which starts with its signature) as a one-block stream
/// of `level` into `stream`.
void wrapBzip2Block(std::span<const Bzip2BitRange> pieces, int level,
                    std::vector<std::uint8_t>& stream);

/// Keeps the memory that libbz2 asks for from one decompression to the next, so that decoding
/// block after block does not map and fault in its 3.6 MB tables each time. One per thread.
class Bzip2Memory {
 public:
  Bzip2Memory() = default;
  ~Bzip2Memory();
  Bzip2Memory(const Bzip2Memory&) = delete;
  Bzip2Memory& operator=(const Bzip2Memory&) = delete;

  void* allocate(std::size_t size);
  void release(void* block);

 private:
  std::vector<void*> spare_;  // each block starts with a header holding its size
};

/// A failure code of libbz2 in the words of a failure ("data integrity error", ...).
const char* bzip2ErrorText(int code);

/// How decoding a one-block stream ended.
enum class Bzip2BlockResult {
  kDecoded,    // the stream ended cleanly: the whole output is in `out`
  kOversized,  // valid, but its output is larger than the limit: only verified, not kept
  kFailed,     // not one valid block: damaged data, a false boundary, or a block cut short
};

/// Decodes `stream` (a one-block stream) into `out`, keeping at most `limit` bytes of output.
/// `oversizedOutput`, when given, receives the output size of a block found oversized.
Bzip2BlockResult decodeBzip2Block(std::span<const std::uint8_t> stream, std::size_t limit,
                                  Bzip2Memory& memory, std::vector<std::uint8_t>& out,
                                  std::uint64_t* oversizedOutput = nullptr);

}  // namespace tarvex::input
