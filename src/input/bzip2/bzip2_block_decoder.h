// tarvex's own decoder of one bzip2 block, for the parallel bzip2 reader.
//
// libbz2 spends most of a dump's reading time: its Huffman decoding reads bit by bit above the
// shortest code length, and its inverse Burrows-Wheeler walk waits on one cache miss per byte. This
// decoder does the same stages differently: Huffman codes through lookup tables (bzip2_huffman.h),
// move-to-front and the zero runs in one loop, the walk in eight interleaved lanes
// (bzip2_inverse_bwt.h), then the final run-length stage and the block CRC (bzip2_crc.h).
//
// It gives exactly libbz2's bytes or none: every block's CRC is checked, and whatever it does
// not expect (a damaged block, a false boundary, a randomised block of bzip2 0.9, a table that
// is not a complete code, a block whose output passes the caller's limit) it refuses, and the
// caller asks libbz2, which then decides as it always did. Nothing is allocated per block; one
// decoder holds up to 14 MB (less is touched on small blocks) and serves one thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "input/bzip2/bzip2_bit_reader.h"
#include "input/bzip2/bzip2_huffman.h"
#include "input/bzip2/bzip2_inverse_bwt.h"

namespace tarvex::input {

class Bzip2BlockDecoder {
 public:
  /// `outputLimit`: the most bytes a block may decode to; a larger one is refused.
  explicit Bzip2BlockDecoder(std::size_t outputLimit);

  struct Block {
    bool decoded = false;   // false: refused, `out` holds nothing of use
    std::uint32_t crc = 0;  // the block's CRC (stored and checked)
    std::uint64_t end = 0;  // the bit of `bytes` just after the block
  };

  /// Decodes the block whose signature starts at bit `from` of `bytes`, in a stream of `level`
  /// ('1'..'9' as a number), into `out` (its old contents are replaced).
  Block decode(std::span<const std::uint8_t> bytes, std::uint64_t from, int level,
               std::vector<std::uint8_t>& out);

 private:
  static constexpr unsigned kMaxGroups = 6;
  static constexpr unsigned kMaxSelectors = 18002;
  static constexpr unsigned kGroupSize = 50;

  bool readTables(Bzip2BitReader& reader);
  bool decodeSymbols(Bzip2BitReader& reader, std::uint32_t maxBlock);
  bool buildLinks(std::uint32_t origin);
  bool undoRuns(std::vector<std::uint8_t>& out);

  std::size_t outputLimit_;
  // What the block's header says.
  std::array<std::uint8_t, 256> used_{};  // the byte values that occur, in order
  unsigned usedCount_ = 0;
  unsigned groups_ = 0;
  unsigned selectorCount_ = 0;
  std::array<std::uint8_t, kMaxSelectors> selectors_{};
  std::array<Bzip2HuffmanTable, kMaxGroups> tables_{};
  // The block between the stages: after move-to-front, one entry per byte (see
  // bzip2_inverse_bwt.h), with how often each byte value occurs.
  std::unique_ptr<std::uint32_t[]> entries_;
  std::uint32_t blockSize_ = 0;
  std::array<std::uint32_t, 256> byteCounts_{};
  std::uint32_t first_ = 0;
  Bzip2InverseBwt walk_;
  std::unique_ptr<std::uint8_t[]> output_;  // `outputLimit_` + the largest block, see undoRuns
};

}  // namespace tarvex::input
