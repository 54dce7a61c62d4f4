#include "input/gzip_source.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <limits>
#include <string>

namespace tarvex::input {

namespace {

const char* inflateErrorText(int code) {
  switch (code) {
    case ISAL_INVALID_BLOCK:
      return "invalid deflate block";
    case ISAL_INVALID_SYMBOL:
      return "invalid deflate symbol";
    case ISAL_INVALID_LOOKBACK:
      return "invalid back-reference distance";
    case ISAL_INVALID_WRAPPER:
      return "invalid gzip header";
    case ISAL_UNSUPPORTED_METHOD:
      return "unsupported compression method";
    case ISAL_INCORRECT_CHECKSUM:
      return "checksum mismatch";
    case ISAL_NEED_DICT:
      return "needs a preset dictionary";
    default:
      return "unknown inflate error";
  }
}

constexpr std::uint32_t kMaxChunk = std::numeric_limits<std::uint32_t>::max() / 2;

}  // namespace

GzipSource::GzipSource(std::unique_ptr<ByteSource> compressed, std::span<const std::uint8_t> peeked)
    : CompressedSource("gzip", std::move(compressed), peeked, 0),
      state_(std::make_unique<inflate_state>()),
      header_(std::make_unique<isal_gzip_header>()) {
  isal_inflate_init(state_.get());
}

GzipSource::~GzipSource() = default;

// At the start of a member, or at the end of the file after the last one.
bool GzipSource::startMember() {
  static constexpr std::uint8_t kMagic[] = {0x1f, 0x8b};
  if (!nextStreamStarts(kMagic)) return false;
  isal_inflate_reset(state_.get());
  isal_gzip_header_init(header_.get());
  phase_ = Phase::kHeader;
  memberProduced_ = 0;
  return true;
}

// The member header is read on its own, into a header record of ours that keeps no name,
// comment or extra field: letting isal_inflate read it (crc_flag ISAL_GZIP) makes ISA-L 2.30
// parse it with a header record it never initialises, which corrupts headers that carry a file
// name. The deflate data and the trailer that follow are then read with ISAL_GZIP_NO_HDR_VER,
// which checks the trailer's CRC.
bool GzipSource::readHeader() {
  for (;;) {
    if (input_.size() == 0 && !input_.refill()) {
      stopEarlyEnd();
      return false;
    }
    inflate_state& state = *state_;
    const std::uint32_t availIn =
        static_cast<std::uint32_t>(std::min<std::size_t>(input_.size(), kMaxChunk));
    state.next_in = input_.data();
    state.avail_in = availIn;
    int result = isal_read_gzip_header(&state, header_.get());
    input_.consume(availIn - state.avail_in);
    if (result == ISAL_DECOMP_OK) {
      state.crc_flag = ISAL_GZIP_NO_HDR_VER;
      phase_ = Phase::kInMember;
      return true;
    }
    if (result != ISAL_END_INPUT) {
      stopDamaged(inflateErrorText(result));
      return false;
    }
    // The header goes on past the bytes at hand; never ask again without new ones.
    if (input_.size() != 0 && !input_.refill()) {
      stopEarlyEnd();
      return false;
    }
  }
}

std::size_t GzipSource::read(std::span<std::uint8_t> into) {
  std::size_t written = 0;
  while (written < into.size() && !done()) {
    if (phase_ == Phase::kMemberStart) {
      if (!startMember()) break;
      continue;
    }
    if (phase_ == Phase::kHeader) {
      if (!readHeader()) break;
      continue;
    }
    // Without new input the decompressor may still hold output of the data it has taken in
    // (the last block before a cut, above all): it is asked once more before the end counts.
    if (input_.size() == 0) input_.refill();
    inflate_state& state = *state_;
    const std::uint32_t availIn =
        static_cast<std::uint32_t>(std::min<std::size_t>(input_.size(), kMaxChunk));
    const std::uint32_t availOut =
        static_cast<std::uint32_t>(std::min<std::size_t>(into.size() - written, kMaxChunk));
    state.next_in = input_.data();
    state.avail_in = availIn;
    state.next_out = into.data() + written;
    state.avail_out = availOut;
    int result = isal_inflate(&state);
    const std::size_t consumed = availIn - state.avail_in;
    const std::size_t produced = availOut - state.avail_out;
    input_.consume(consumed);
    written += produced;
    produced_ += produced;
    memberProduced_ += produced;
    if (result != ISAL_DECOMP_OK) {
      if (memberProduced_ != 0) {
        stopDamagedAfterHandingOut(inflateErrorText(result));
      } else {
        stopDamaged(inflateErrorText(result));
      }
      break;
    }
    if (state.block_state == ISAL_BLOCK_FINISH) {
      phase_ = Phase::kMemberStart;
      continue;
    }
    if (consumed == 0 && produced == 0 && !input_.refill()) {
      // Inflate wants more input than the file has left.
      stopEarlyEnd();
      break;
    }
  }
  return written;
}

}  // namespace tarvex::input
