// Reads the BGP4MP UPDATE messages of one MRT dump file.
//
// The reader owns the input (a file, standard input for "-", or any byte source; plain, gzip or
// bzip2 as its first bytes say), the record batches read from it, and a decoder. Each
// `BgpUpdate` that `next` yields points into the current batch and is valid until the next call.
// Records that are not BGP4MP UPDATEs are passed over, but those that can hold routes and
// stretches of zero bytes are noted (passed_over.h); malformed ones are skipped and counted;
// damage that makes the rest of the input unreadable ends it, and `damage()` says what happened.
// Memory is bounded (see record_batcher.h), whatever the input.
//
// Callers that decode on several threads take whole batches from `batcher()` instead of calling
// `next`, decode each with a decoder of their own (`decodeBatch`), and hand the counts of
// malformed records and what was passed over back through `countMalformed` and `addPassedOver`,
// in input order.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/byte_source.h"
#include "input/input_format.h"
#include "mrt/bgp4mp.h"
#include "mrt/bgp_update.h"
#include "mrt/passed_over.h"
#include "mrt/record_batcher.h"

namespace tarvex::mrt {

class MrtReader {
 public:
  /// Opens `path`; "-" reads standard input. Returns null when the input cannot be opened as a
  /// dump (a missing or unreadable path, a directory), with the reason in `*error` (an errno
  /// value). bzip2 data is decompressed on `bzip2Workers` threads (input_format.h).
  static std::unique_ptr<MrtReader> open(const std::string& path, unsigned bzip2Workers,
                                         int* error);

  /// Reads the dump that `raw` yields (compressed or not).
  MrtReader(std::unique_ptr<input::ByteSource> raw, unsigned bzip2Workers);

  MrtReader(const MrtReader&) = delete;
  MrtReader& operator=(const MrtReader&) = delete;

  /// Decodes the next UPDATE into `update`. False at the end of the input or once damage has
  /// stopped it.
  bool next(BgpUpdate& update);

  /// After `next` returned false: empty when the input ended cleanly; otherwise one sentence
  /// on what stopped it. Empty too when the input ended in a few zero bytes after a stretch of
  /// zeros, which the zeros warning covers.
  std::string_view damage() const;

  /// How the input is stored, as its first bytes say.
  input::InputFormat format() const { return format_; }

  /// BGP4MP UPDATE records skipped because they were malformed.
  std::uint64_t malformedRecords() const { return malformed_; }

  /// After the walk: one sentence each on the stretches of zeros and on the records that can
  /// hold routes but were not searched, in that order; those that have nothing to say are left
  /// out.
  std::vector<std::string> passedOverWarnings() const;

  /// What was passed over so far.
  const FilePassedOver& passedOver() const { return passedOver_; }

  /// The record batches of the input, for callers that decode them elsewhere; do not mix with
  /// `next`.
  RecordBatcher& batcher() { return batcher_; }

  /// Adds malformed records that a caller found in batches it decoded itself.
  void countMalformed(std::uint64_t count) { malformed_ += count; }

  /// Adds what a caller's walk of the next batch, in input order, passed over.
  void addPassedOver(const BatchPassedOver& batch) { passedOver_.add(batch); }

 private:
  bool zeroTailCovered() const;

  input::InputFormat format_ = input::InputFormat::kPlain;
  RecordBatcher batcher_;
  RecordBatch batch_;
  BatchRecords records_{{}};
  BatchPassedOver batchPassedOver_;
  UpdateDecoder decoder_;
  std::uint64_t malformed_ = 0;
  FilePassedOver passedOver_;
};

/// Decodes `record` into `update` and says whether it is an UPDATE to walk; a record the
/// decoder does not select is noted in `passedOver`, a malformed one counted in `malformed`. The
/// one step of both ways through a dump: `MrtReader::next` and `decodeBatch`.
inline bool decodeRecord(UpdateDecoder& decoder, const MrtRecord& record, BgpUpdate& update,
                         BatchPassedOver& passedOver, std::uint64_t& malformed) {
  switch (decoder.decode(record, update)) {
    case DecodeResult::kUpdate:
      return true;
    case DecodeResult::kNotSelected:
      passedOver.note(record);
      return false;
    case DecodeResult::kMalformed:
      ++malformed;
      return false;
  }
  return false;
}

/// Decodes every record of `batch` with `decoder` into `update` and calls `visit(update)` for each
/// UPDATE, in order; notes in `passedOver` what the decoder did not select. Returns the number of
/// malformed records skipped.
template <typename Visit>
std::uint64_t decodeBatch(const RecordBatch& batch, UpdateDecoder& decoder, BgpUpdate& update,
                          BatchPassedOver& passedOver, Visit&& visit) {
  std::uint64_t malformed = 0;
  passedOver.start(batch.bytes, batch.offset);
  BatchRecords records(batch.bytes);
  MrtRecord record;
  while (records.next(record)) {
    if (decodeRecord(decoder, record, update, passedOver, malformed)) {
      visit(static_cast<const BgpUpdate&>(update));
    }
  }
  passedOver.finish();
  return malformed;
}

}  // namespace tarvex::mrt
