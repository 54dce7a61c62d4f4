// MRT framing one record at a time, for callers that read a dump on one thread.
//
// A thin walk over the batches of a `RecordBatcher` (see record_batcher.h for the record layout,
// the memory bound and what stops the input): a record is a view into the batcher's buffers,
// valid until the next call of `next`. The damage sentences are the batcher's.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "input/byte_source.h"
#include "mrt/record_batcher.h"

namespace tarvex::mrt {

class RecordReader {
 public:
  explicit RecordReader(std::unique_ptr<input::ByteSource> input) : batcher_(std::move(input)) {}

  /// The next record. False at the end of the input or when damage stopped it.
  bool next(MrtRecord& record) {
    while (!records_.next(record)) {
      batch_ = RecordBatch();  // released before the batcher reads on
      if (!batcher_.next(batch_)) return false;
      records_ = BatchRecords(batch_.bytes);
    }
    return true;
  }

  /// After `next` returned false: empty when the input ended cleanly, else what stopped it (and,
  /// when records came before, that they were handed out).
  std::string_view damage() const { return batcher_.damage(); }

  /// Bytes of the (decompressed) input taken by the records handed out so far.
  std::uint64_t offset() const { return batcher_.offset() - records_.remaining(); }

  /// The batcher underneath, for callers that take whole batches instead.
  RecordBatcher& batcher() { return batcher_; }

 private:
  RecordBatcher batcher_;
  RecordBatch batch_;
  BatchRecords records_{{}};
};

}  // namespace tarvex::mrt
