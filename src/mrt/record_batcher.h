// MRT framing in batches: cuts a byte stream into runs of whole records (RFC 6396 section 2).
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
// The batcher reads the input with large reads into buffers of its own and hands out, per read,
// the whole records that the read completed, as one `RecordBatch`. A batch shares ownership of
// its buffer, so batches can be decoded on other threads, in any order, while the batcher reads
// on: the batcher only ever writes behind the bytes it has handed out. A record cut by the end
// of a buffer moves, alone, to the front of the next buffer; records are never copied otherwise.
//
// Memory: buffers of `budgets::kBatchBuffer` bytes, recycled; a record larger than that gets a
// buffer of its own size (at most 16 MiB and a header). The buffers that are alive at once, in
// batches not yet released and in the batcher, stay within `budgets::kBatcherMemory`: `next` waits
// for batches to be released when the budget is used up (a single buffer may exceed the budget when
// nothing else is alive). Batches must be released before the batcher is destroyed.
//
// Bad input: a length above 16 MiB cannot be right and stops the input (everything after it
// would be read out of step); so does a record cut short by the end of the input, and any failure
// of the byte source (damaged compressed data, a read error). Each stop leaves one sentence in
// `damage()`; when an impossible length comes from damaged compressed data that the decompressor
// reports within the next 4 MiB, its report is the one kept. The batches before the stop are all
// handed out first; the sentence says so, and says too when the source found its damage only
// after handing out some of the damaged bytes. Records of any type and length, zero included, are
// handed out as they are.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/memory_budgets.h"
#include "input/byte_source.h"

namespace tarvex::mrt {

inline constexpr std::size_t kMrtHeaderSize = 12;
/// The largest record body accepted. Real records stay far below it (a full-table record of a
/// route server is a few hundred kilobytes).
inline constexpr std::size_t kMaxRecordLength = 16 * 1024 * 1024;

/// The common header of every MRT record.
struct MrtHeader {
  std::uint32_t timestamp = 0;
  std::uint16_t type = 0;
  std::uint16_t subtype = 0;
  std::uint32_t length = 0;  // of the body, which follows the header; not checked here
};

/// Reads the common header from its twelve bytes. The fixed extent leaves nothing to check: the
/// framing, which reads every header once, runs this without a test per field.
[[gnu::always_inline]] inline MrtHeader readMrtHeader(
    std::span<const std::uint8_t, kMrtHeaderSize> bytes) {
  MrtHeader header;
  header.timestamp = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                     (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
  header.type = static_cast<std::uint16_t>((unsigned{bytes[4]} << 8) | unsigned{bytes[5]});
  header.subtype = static_cast<std::uint16_t>((unsigned{bytes[6]} << 8) | unsigned{bytes[7]});
  header.length = (std::uint32_t{bytes[8]} << 24) | (std::uint32_t{bytes[9]} << 16) |
                  (std::uint32_t{bytes[10]} << 8) | std::uint32_t{bytes[11]};
  return header;
}

struct MrtRecord {
  std::uint32_t timestamp = 0;
  std::uint16_t type = 0;
  std::uint16_t subtype = 0;
  std::span<const std::uint8_t> body;  // the Length bytes after the header
};

/// Whole records, back to back, as they stand in the input.
struct RecordBatch {
  std::span<const std::uint8_t> bytes;
  std::uint64_t offset = 0;            // of the first record, in the decompressed input
  std::shared_ptr<const void> buffer;  // keeps `bytes` alive; reset it to release the batch
};

/// Walks the records of a batch. The batch was framed, so every header and body is whole.
class BatchRecords {
 public:
  explicit BatchRecords(std::span<const std::uint8_t> bytes) : rest_(bytes) {}

  bool next(MrtRecord& record) {
    if (rest_.size() < kMrtHeaderSize) return false;
    const MrtHeader header = readMrtHeader(rest_.first<kMrtHeaderSize>());
    record.timestamp = header.timestamp;
    record.type = header.type;
    record.subtype = header.subtype;
    record.body = rest_.subspan(kMrtHeaderSize, header.length);
    __builtin_prefetch(rest_.data() + kPrefetchDistance);
    rest_ = rest_.subspan(kMrtHeaderSize + std::size_t{header.length});
    return true;
  }

  /// Bytes of the records not walked yet.
  std::size_t remaining() const { return rest_.size(); }

 private:
  // Records are a few hundred bytes: asking for the bytes some records ahead hides the memory
  // latency of a batch that has left the cache since it was read. A prefetch past the batch is
  // harmless (it never faults).
  static constexpr std::size_t kPrefetchDistance = 2048;
  std::span<const std::uint8_t> rest_;
};

class RecordBatcher {
 public:
  explicit RecordBatcher(std::unique_ptr<input::ByteSource> input);
  ~RecordBatcher();
  RecordBatcher(const RecordBatcher&) = delete;
  RecordBatcher& operator=(const RecordBatcher&) = delete;

  /// The next batch (at least one record). False at the end of the input or when damage stopped
  /// it. One thread at a time may call it; the batches it returns may go anywhere.
  bool next(RecordBatch& batch);

  /// After `next` returned false: empty when the input ended cleanly, else what stopped it (and,
  /// when records came before, that they were handed out).
  std::string_view damage() const { return damage_; }

  /// Bytes of the (decompressed) input taken by the records handed out so far.
  std::uint64_t offset() const { return offset_; }

  /// When the input ended inside a record header whose bytes are all zero: how many there were
  /// (they follow `offset()`); otherwise 0. A file that ends in zeros can be told apart from one
  /// cut short.
  std::size_t strayZeroBytes() const { return strayZeroBytes_; }

 private:
  struct Buffer;
  class Pool;

  bool readMore(std::size_t needed);
  bool inputFailsAhead();
  void stop(std::string reason, bool beforeVouchedFor = true);
  void stopAtInputFailure();

  std::unique_ptr<input::ByteSource> input_;
  std::shared_ptr<Pool> pool_;
  std::shared_ptr<Buffer> current_;
  std::size_t begin_ = 0;  // first byte of current_ not handed out
  std::size_t end_ = 0;    // end of the bytes read into current_
  bool inputEnded_ = false;
  bool stopAfterBatch_ = false;  // an impossible length follows the last batch handed out
  std::uint64_t offset_ = 0;
  std::size_t strayZeroBytes_ = 0;
  std::string damage_;
};

}  // namespace tarvex::mrt
