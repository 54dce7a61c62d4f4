#include "input/bzip2/bzip2_block_replay.h"

#include <algorithm>
#include <string>

#include "input/bzip2/bzip2_blocks.h"
#include "input/bzip2/libbz2_stream.h"
#include "input/compressed_input.h"

namespace tarvex::input {

Bzip2BlockReplay::Bzip2BlockReplay(std::vector<std::uint8_t> stream, std::uint64_t size,
                                   std::uint64_t producedBefore)
    : stream_(std::move(stream)),
      decompressor_(std::make_unique<LibBz2Stream>()),
      size_(size),
      producedBefore_(producedBefore) {
  if (const int result = decompressor_->start(); result != BZ_OK) {
    fail(std::string("bzip2 decompressor cannot start (") + bzip2ErrorText(result) + ")");
    return;
  }
  // libbz2 takes non-const input; it never writes to it.
  decompressor_->state.next_in = reinterpret_cast<char*>(stream_.data());
  decompressor_->state.avail_in = libBz2Room(stream_.size());
}

Bzip2BlockReplay::~Bzip2BlockReplay() = default;

std::size_t Bzip2BlockReplay::read(std::span<std::uint8_t> into) {
  if (!failure().empty() || handedOut_ == size_) return 0;
  bz_stream& state = decompressor_->state;
  const unsigned int room = libBz2Room(std::min<std::uint64_t>(into.size(), size_ - handedOut_));
  state.next_out = reinterpret_cast<char*>(into.data());
  state.avail_out = room;
  const int result = BZ2_bzDecompress(&state);
  const std::size_t wrote = room - state.avail_out;
  handedOut_ += wrote;
  // The call that writes the block's last byte reads on into whatever follows the block in the
  // stream; how that ends does not matter once the block's bytes are all out.
  if (handedOut_ < size_ && (result != BZ_OK || wrote == 0)) {
    const char* problem = result == BZ_OK ? "data integrity error" : bzip2ErrorText(result);
    fail(damagedDataText("bzip2", problem, producedBefore_ + handedOut_));
  }
  return wrote;
}

}  // namespace tarvex::input
