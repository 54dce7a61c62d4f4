// The inverse Burrows-Wheeler transform of one bzip2 block, arranged for the memory system.
//
// Undoing the transform is a walk through a table of up to 900 000 entries (3.6 MB) in which
// each step's address is the value the step before loaded: a chain of cache misses, one per
// byte. Walked from one end, the processor cannot start the next load before the last has
// arrived. So the walk is cut into segments at positions picked in advance, and eight lanes walk
// eight segments at a time, keeping eight misses in flight. A segment ends where another begins;
// the segments are then put in order by following those links from the first.
//
// The order of the output is exactly that of the one-chain walk (libbz2's), or there is no
// output: a table whose links do not form a single cycle through every entry (only damaged or
// forged data has that) is refused, since the one-chain walk would repeat a shorter cycle.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tarvex::input {

class Bzip2InverseBwt {
 public:
  /// `capacity` is the largest block (entries) this will be asked to walk.
  explicit Bzip2InverseBwt(std::size_t capacity);

  /// `table` holds one entry per byte of the block: the byte in the low 8 bits, the position of
  /// the next entry above them (at most 23 bits); bit 31 must be clear and is used for marks.
  /// Walks it from `first`, the entry of the first output byte, for `table.size()` bytes. The
  /// bytes come out in order as a list of pieces (good until the next call). False when the
  /// table is not one cycle.
  bool walk(std::span<std::uint32_t> table, std::uint32_t first);

  const std::vector<std::span<const std::uint8_t>>& pieces() const { return pieces_; }

 private:
  static constexpr unsigned kLanes = 8;
  static constexpr unsigned kSegments = 64;
  struct Segment {
    std::uint32_t start = 0;   // position of its first entry
    std::uint32_t end = 0;     // position of the first entry after it: another segment's start
    std::uint32_t offset = 0;  // where its bytes begin in its lane's buffer
    std::uint32_t length = 0;
    std::uint8_t lane = 0;
  };

  bool walkOneChain(std::span<std::uint32_t> table, std::uint32_t first);
  bool walkLanes(std::span<std::uint32_t> table);
  bool order(std::size_t total);

  std::size_t capacity_;
  std::unique_ptr<std::uint8_t[]> lanes_;  // kLanes buffers of `capacity_` bytes
  std::array<Segment, kSegments> segments_{};
  unsigned segmentCount_ = 0;
  std::vector<std::span<const std::uint8_t>> pieces_;
};

}  // namespace tarvex::input
