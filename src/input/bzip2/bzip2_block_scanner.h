// The compressed input of the parallel bzip2 reader, and the block signatures found in it.
//
// The scanner reads the compressed bytes ahead into a window and finds every block and
// end-of-stream signature in them (`findBzip2Marks`, bzip2_blocks.h): candidate boundaries, some
// of them false. Positions are bits from the start of the input. The window holds the bytes from
// the first block still needed (`dropBefore`) to the read-ahead point; bytes before it are
// dropped in steps of `budgets::kBzip2DropStep`. The scanner reads only when asked, on the
// thread that asks; it owns the source until `release` hands the rest over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "input/byte_source.h"
#include "input/bzip2/bzip2_blocks.h"

namespace tarvex::input {

class Bzip2BlockScanner {
 public:
  /// `peeked` are the first bytes of `compressed`, already read to detect the format.
  Bzip2BlockScanner(std::unique_ptr<ByteSource> compressed, std::span<const std::uint8_t> peeked);

  /// Reads until the window reaches byte `end`; false when the input ends first.
  bool haveBytes(std::uint64_t end);

  /// The first mark at or after `bit`; null when the input ends, or the scan passes `limit`,
  /// before one is found. The pointer is good until marks are dropped.
  const Bzip2Mark* markAfter(std::uint64_t bit, std::uint64_t limit);
  /// The mark that starts at `bit`, or null.
  const Bzip2Mark* markAt(std::uint64_t bit);

  /// The bytes of the window from byte `byte` of the input on; empty when it is not in it.
  std::span<const std::uint8_t> windowFrom(std::uint64_t byte) const;
  /// `count` (at most 57) bits from bit `bit` of the input on, which the window must hold.
  std::uint64_t bitsAt(std::uint64_t bit, unsigned count) const {
    return readBits(window_, bit - windowBase_ * 8, count);
  }

  /// No block before `bit` is needed any more: its marks and, in large steps, its bytes go.
  void dropBefore(std::uint64_t bit);

  /// True once the input has ended (or failed: see `inputFailure`).
  bool inputEnded() const { return inputEnded_; }
  std::string_view inputFailure() const { return input_->failure(); }

  /// What is left of the input from byte `byte` on: the window's bytes and the source of the
  /// rest. The scanner is empty afterwards and must not be used again.
  struct Rest {
    std::vector<std::uint8_t> bytes;
    std::unique_ptr<ByteSource> source;
    bool sourceEnded = false;
  };
  Rest release(std::uint64_t byte);

 private:
  bool readInput();

  std::unique_ptr<ByteSource> input_;
  bool inputEnded_ = false;
  std::vector<std::uint8_t> window_;  // compressed bytes from windowBase_ on
  std::uint64_t windowBase_ = 0;      // byte offset of window_[0] in the input
  std::uint64_t scanned_ = 0;         // every mark that starts below this bit is in marks_
  std::deque<Bzip2Mark> marks_;
};

}  // namespace tarvex::input
