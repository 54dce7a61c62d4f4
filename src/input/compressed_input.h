// The compressed bytes that a decompressor has read ahead from its source.
//
// Shared by the gzip and bzip2 readers: a fixed buffer (256 KiB) that is topped up from the
// source as the decompressor consumes it. The unread bytes are mutable because the C
// decompression interfaces take non-const input pointers.
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

  std::string_view sourceFailure() const { return source_->failure(); }

  /// Reads and drops everything left in the source after the last compressed stream. Empty when
  /// nothing or only zero bytes (padding) were left; otherwise the problem, in the words of
  /// `format` ("gzip", "bzip2"), or the source's own failure.
  std::string dropTrailingBytes(std::string_view format);

 private:
  static constexpr std::size_t kCapacity = 256 * 1024;
  std::unique_ptr<ByteSource> source_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;
};

}  // namespace tarvex::input
