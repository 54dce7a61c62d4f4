// Reads the BGP4MP UPDATE messages of one MRT dump file.
//
// The reader owns the input (a file, standard input for "-", or any byte source; plain, gzip or
// bzip2 as its first bytes say), one record buffer that it reuses, and the decoder. Each
// `BgpUpdate` it yields points into that buffer and is valid until the next call. Records that
// are not BGP4MP UPDATEs are passed over; malformed ones are skipped and counted; damage that
// makes the rest of the input unreadable ends it, and `damage()` says what happened. Memory is
// bounded by the largest record accepted, whatever the input.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mrt/bgp4mp.h"
#include "mrt/bgp_update.h"
#include "mrt/byte_source.h"
#include "mrt/record_reader.h"

namespace tarvex::mrt {

class MrtReader {
 public:
  /// Opens `path`; "-" reads standard input. Returns null when the input cannot be opened as a
  /// dump (a missing or unreadable path, a directory), with the reason in `*error` (an errno
  /// value).
  static std::unique_ptr<MrtReader> open(const std::string& path, int* error);

  /// Reads the dump that `raw` yields (compressed or not).
  explicit MrtReader(std::unique_ptr<ByteSource> raw);

  MrtReader(const MrtReader&) = delete;
  MrtReader& operator=(const MrtReader&) = delete;

  /// Decodes the next UPDATE into `update`. False at the end of the input or once damage has
  /// stopped it.
  bool next(BgpUpdate& update);

  /// After `next` returned false: empty when the input ended cleanly; otherwise one sentence
  /// on what stopped it.
  std::string_view damage() const { return records_.damage(); }

  /// BGP4MP UPDATE records skipped because they were malformed.
  std::uint64_t malformedRecords() const { return malformed_; }

 private:
  RecordReader records_;
  UpdateDecoder decoder_;
  std::uint64_t malformed_ = 0;
};

}  // namespace tarvex::mrt
