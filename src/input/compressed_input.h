// What the gzip and bzip2 readers share: the compressed bytes read ahead from their source, and
// how a run of concatenated streams ends.
//
// `CompressedInput` is a fixed buffer (`budgets::kCompressedReadAhead`) that is topped up from the
// source as the decompressor consumes it. The unread bytes are mutable because the C
// decompression interfaces take non-const input pointers.
//
// `CompressedSource` is the base of the two readers. Both read streams (gzip members, bzip2
// streams) one after another until the input ends; both word their failures the same way, with
// the format's name and the decompressed bytes produced before the problem; both accept zero
// padding after the last stream and report anything else there. The readers keep only their
// decompressor's state and call the base at each stream boundary and on each failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "input/byte_source.h"

namespace tarvex::input {

class CompressedInput {
 public:
  /// `peeked` are bytes already taken from `source` (the magic bytes); they are served first.
  CompressedInput(std::unique_ptr<ByteSource> source, std::span<const std::uint8_t> peeked);

  std::uint8_t* data() { return buffer_.get() + begin_; }
  std::size_t size() const { return end_ - begin_; }
  void consume(std::size_t count) { begin_ += count; }

  /// Reads more bytes after the unread ones. False when the source has nothing more: at its
  /// end, or after a failure (`sourceFailure()`).
  bool refill();

  /// Refills until at least `count` bytes are unread or the source ends.
  void want(std::size_t count) {
    while (size() < count && refill()) {
    }
  }

  /// True once the source has nothing more: the unread bytes are all there is.
  bool ended() const { return ended_; }

  std::string_view sourceFailure() const { return source_->failure(); }

  /// Reads and drops everything left in the source after the last compressed stream. Empty when
  /// nothing or only zero bytes (padding) were left; otherwise the problem, in the words of
  /// `format` ("gzip", "bzip2"), or the source's own failure.
  std::string dropTrailingBytes(std::string_view format);

 private:
  std::unique_ptr<ByteSource> source_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;
};

/// "<format> data is damaged (<problem>) after <produced> decompressed bytes": the one wording of
/// damage for every reader of a format, the parallel bzip2 reader's included.
std::string damagedDataText(std::string_view format, std::string_view problem,
                            std::uint64_t produced);

class CompressedSource : public ByteSource {
 protected:
  /// `format` names the format in failures ("gzip", "bzip2"); `producedBefore` counts the
  /// decompressed bytes that came before this source's first one.
  CompressedSource(std::string_view format, std::unique_ptr<ByteSource> compressed,
                   std::span<const std::uint8_t> peeked, std::uint64_t producedBefore);

  /// At a stream boundary: true when the unread bytes start with `magic`, the start of another
  /// stream. Otherwise the source is done: cleanly at the end of the input or after zero
  /// padding, or with a failure for other trailing bytes or a source that failed.
  bool nextStreamStarts(std::span<const std::uint8_t> magic);

  /// Ends the source with `reason` as its failure.
  void stop(std::string reason);
  /// The input ended inside a stream, or could not be read further.
  void stopEarlyEnd();
  /// The decompressor found damage, which `problem` names, before any damaged byte went out.
  void stopDamaged(std::string_view problem) { stop(damagedDataText(format_, problem, produced_)); }
  /// The decompressor found damage, which `problem` names, only after it had handed out bytes of
  /// the damaged data (a check at the end of what they belong to).
  void stopDamagedAfterHandingOut(std::string_view problem);
  bool done() const { return done_; }

  CompressedInput input_;
  std::uint64_t produced_ = 0;  // decompressed bytes handed out, counted from the file's start

 private:
  std::string_view format_;
  bool done_ = false;
};

}  // namespace tarvex::input
