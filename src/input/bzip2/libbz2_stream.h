// One libbz2 decompression stream that ends itself, and the most that one libbz2 call may be
// offered. Included by the .cc files that drive libbz2; their headers hold the stream by pointer,
// so that bzlib.h stays out of them.
#pragma once

#include <bzlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace tarvex::input {

/// Input or output room for one libbz2 call: its counters are unsigned int.
inline unsigned int libBz2Room(std::uint64_t size) {
  return static_cast<unsigned int>(std::min<std::uint64_t>(size, UINT_MAX / 2));
}

struct LibBz2Stream {
  bz_stream state{};
  bool open = false;

  LibBz2Stream() = default;
  LibBz2Stream(const LibBz2Stream&) = delete;
  LibBz2Stream& operator=(const LibBz2Stream&) = delete;
  ~LibBz2Stream() { end(); }

  /// Ends the stream in use, if any, and starts a fresh one; libbz2's result code.
  int start() {
    end();
    state = bz_stream{};
    const int result = BZ2_bzDecompressInit(&state, 0, 0);
    open = result == BZ_OK;
    return result;
  }

  void end() {
    if (open) BZ2_bzDecompressEnd(&state);
    open = false;
  }
};

}  // namespace tarvex::input
