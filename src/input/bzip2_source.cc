#include "input/bzip2_source.h"

#include <bzlib.h>

#include <algorithm>
#include <limits>
#include <string>

namespace tarvex::input {

namespace {

const char* bzip2ErrorText(int code) {
  switch (code) {
    case BZ_DATA_ERROR:
      return "data integrity error";
    case BZ_DATA_ERROR_MAGIC:
      return "bad stream header";
    case BZ_MEM_ERROR:
      return "out of memory";
    default:
      return "unexpected decompressor state";
  }
}

constexpr std::size_t kMaxChunk = std::numeric_limits<unsigned int>::max() / 2;

}  // namespace

struct Bzip2Source::Stream {
  bz_stream state{};
  bool open = false;
  ~Stream() {
    if (open) BZ2_bzDecompressEnd(&state);
  }
};

Bzip2Source::Bzip2Source(std::unique_ptr<ByteSource> compressed,
                         std::span<const std::uint8_t> peeked, std::uint64_t producedBefore)
    : CompressedSource("bzip2", std::move(compressed), peeked, producedBefore),
      stream_(std::make_unique<Stream>()) {}

Bzip2Source::~Bzip2Source() = default;

// At the start of a stream, or at the end of the file after the last one.
bool Bzip2Source::startStream() {
  static constexpr std::uint8_t kMagic[] = {'B', 'Z', 'h'};
  if (!nextStreamStarts(kMagic)) return false;
  if (stream_->open) {
    BZ2_bzDecompressEnd(&stream_->state);
    stream_->open = false;
  }
  stream_->state = bz_stream{};
  int result = BZ2_bzDecompressInit(&stream_->state, 0, 0);
  if (result != BZ_OK) {
    stop(std::string("bzip2 decompressor cannot start (") + bzip2ErrorText(result) + ")");
    return false;
  }
  stream_->open = true;
  phase_ = Phase::kInStream;
  return true;
}

std::size_t Bzip2Source::read(std::span<std::uint8_t> into) {
  std::size_t written = 0;
  while (written < into.size() && !done()) {
    if (phase_ == Phase::kStreamStart) {
      if (!startStream()) break;
      continue;
    }
    // Without new input the decompressor may still hold output of the data it has taken in
    // (the last block before a cut, above all): it is asked once more before the end counts.
    if (input_.size() == 0) input_.refill();
    bz_stream& state = stream_->state;
    const unsigned int availIn =
        static_cast<unsigned int>(std::min<std::size_t>(input_.size(), kMaxChunk));
    const unsigned int availOut =
        static_cast<unsigned int>(std::min<std::size_t>(into.size() - written, kMaxChunk));
    state.next_in = reinterpret_cast<char*>(input_.data());
    state.avail_in = availIn;
    state.next_out = reinterpret_cast<char*>(into.data() + written);
    state.avail_out = availOut;
    int result = BZ2_bzDecompress(&state);
    const std::size_t consumed = availIn - state.avail_in;
    const std::size_t produced = availOut - state.avail_out;
    input_.consume(consumed);
    written += produced;
    produced_ += produced;
    if (result == BZ_STREAM_END) {
      BZ2_bzDecompressEnd(&state);
      stream_->open = false;
      phase_ = Phase::kStreamStart;
      continue;
    }
    if (result != BZ_OK) {
      // Bits that were only padding are no evidence of damage: the data was cut there.
      if (lastByteIsPadded_ && input_.size() == 0 && !input_.refill()) {
        stopEarlyEnd();
        break;
      }
      stopDamaged(bzip2ErrorText(result));
      break;
    }
    if (consumed == 0 && produced == 0 && !input_.refill()) {
      stopEarlyEnd();
      break;
    }
  }
  return written;
}

}  // namespace tarvex::input
