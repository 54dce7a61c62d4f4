// Byte sources for tests: one that hands out bytes held in memory in small reads, as a pipe or
// a slow disk does, and can fail at its end like a bad disk; and reading any source to its end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <ostream>
#include <span>
#include <string>
#include <utility>

#include "input/byte_source.h"
#include "mrt_builder.h"

namespace tarvex::testing {

class TrickleSource final : public input::ByteSource {
 public:
  /// Hands out at most `step` bytes per read; once `bytes` are used up, fails with `failure`
  /// unless it is empty.
  TrickleSource(Bytes bytes, std::size_t step, std::string failure = "")
      : bytes_(std::move(bytes)), step_(step), failure_(std::move(failure)) {}

  /// The failure of a disk that stops being readable, as the file reader words it.
  static std::string readError(std::size_t bytesRead) {
    return "read error (Input/output error) after " + std::to_string(bytesRead) + " bytes";
  }

  std::size_t read(std::span<std::uint8_t> into) override {
    std::size_t count = std::min({into.size(), step_, bytes_.size() - at_});
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), count, into.begin());
    at_ += count;
    if (count == 0 && !failure_.empty()) fail(failure_);
    return count;
  }

 private:
  Bytes bytes_;
  std::size_t step_;
  std::string failure_;
  std::size_t at_ = 0;
};

/// Everything a source handed out, and its failure at the end.
struct ReadOutcome {
  Bytes bytes;
  std::string failure;
  bool damagedBytesHandedOut = false;  // the failure says that some bytes may be damaged
  bool operator==(const ReadOutcome&) const = default;
};

inline void PrintTo(const ReadOutcome& outcome, std::ostream* os) {
  *os << outcome.bytes.size() << " bytes, failure \"" << outcome.failure << "\"";
  if (outcome.damagedBytesHandedOut) *os << " (after handing out damaged bytes)";
}

/// Reads `source` to its end in reads of `chunk` bytes.
inline ReadOutcome readAll(input::ByteSource& source, std::size_t chunk) {
  ReadOutcome out;
  Bytes buffer(chunk);
  for (;;) {
    std::size_t got = source.read(buffer);
    if (got == 0) break;
    out.bytes.insert(out.bytes.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
  }
  out.failure = std::string(source.failure());
  out.damagedBytesHandedOut = source.mayHaveHandedOutDamagedBytes();
  return out;
}

}  // namespace tarvex::testing
