// Reads the BGP4MP UPDATE messages of one MRT dump file.
//
// The reader owns the input (a file, or standard input for "-", plain or compressed) and one
// record buffer that it reuses; each `BgpUpdate` it yields points into that buffer and is valid
// until the next call. Records that are not BGP4MP UPDATEs are passed over; malformed ones are
// skipped and counted; damage that makes the rest of the input unreadable ends the file, and the
// reader says what happened in `problem()`.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mrt/bgp_update.h"

namespace tarvex::mrt {

class MrtReader {
 public:
  /// Opens `path`; "-" reads standard input. Returns null when the input cannot be opened as a
  /// dump, with the reason in `*error` (an errno value).
  static std::unique_ptr<MrtReader> open(const std::string& path, int* error);

  ~MrtReader();
  MrtReader(const MrtReader&) = delete;
  MrtReader& operator=(const MrtReader&) = delete;

  /// Decodes the next UPDATE into `update`. False at the end of the input or once damage has
  /// stopped the file.
  bool next(BgpUpdate& update);

  /// After `next` returned false: empty when the input ended cleanly and nothing was skipped;
  /// otherwise one sentence on what was damaged or skipped.
  std::string problem() const;

 private:
  struct State;
  explicit MrtReader(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace tarvex::mrt
