// MRT framing: splits a byte stream into records (RFC 6396 section 2).
//
//    0                   1                   2                   3
//   +-------------------------------+-------------------------------+
//   |                           Timestamp                           |
//   +-------------------------------+-------------------------------+
//   |             Type              |            Subtype            |
//   +-------------------------------+-------------------------------+
//   |                             Length                            |
//   +---------------------------------------------------------------+
//   |                      Message... (Length bytes)                |
//
// The reader keeps one buffer for the whole input and refills it with large reads; a record is a
// view into that buffer, valid until the next call of `next`. Records that fit are never copied;
// the buffer grows only for a record larger than it, and no further than the largest record
// accepted (16 MiB), so memory stays bounded whatever the input claims.
//
// Bad input: a length above 16 MiB cannot be right and stops the input (everything after it
// would be read out of step); so does a record cut short by the end of the input, and any failure
// of the byte source (damaged compressed data, a read error). Each stop leaves one sentence in
// `damage()`; when an impossible length comes from damaged compressed data that the decompressor
// reports within the next 4 MiB, its report is the one kept. Records of any type and length, zero
// included, are handed out as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "mrt/byte_source.h"

namespace tarvex::mrt {

inline constexpr std::size_t kMrtHeaderSize = 12;
/// The largest record body accepted. Real records stay far below it (a full-table record of a
/// route server is a few hundred kilobytes).
inline constexpr std::size_t kMaxRecordLength = 16 * 1024 * 1024;

struct MrtRecord {
  std::uint32_t timestamp = 0;
  std::uint16_t type = 0;
  std::uint16_t subtype = 0;
  std::span<const std::uint8_t> body;  // the Length bytes after the header
};

class RecordReader {
 public:
  explicit RecordReader(std::unique_ptr<ByteSource> input);

  /// The next record. False at the end of the input or when damage stopped it.
  bool next(MrtRecord& record);

  /// After `next` returned false: empty when the input ended cleanly, else what stopped it (and,
  /// when records came before, that they were handed out).
  std::string_view damage() const { return damage_; }

  /// Bytes of the (decompressed) input taken by the records handed out so far.
  std::uint64_t offset() const { return offset_; }

 private:
  bool fill(std::size_t count);
  bool inputFailsAhead();
  void stop(std::string reason);

  std::unique_ptr<ByteSource> input_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t capacity_;
  std::size_t begin_ = 0;  // first byte not handed out
  std::size_t end_ = 0;    // end of the bytes read
  bool inputEnded_ = false;
  std::uint64_t offset_ = 0;
  std::string damage_;
};

}  // namespace tarvex::mrt
