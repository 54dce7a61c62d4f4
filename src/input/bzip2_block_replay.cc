#include "input/bzip2_block_replay.h"

#include <bzlib.h>

#include <algorithm>
#include <climits>
#include <string>

#include "input/bzip2_blocks.h"
#include "input/compressed_input.h"

namespace tarvex::input {

struct Bzip2BlockReplay::Decompressor {
  bz_stream state{};
  bool open = false;
  ~Decompressor() {
    if (open) BZ2_bzDecompressEnd(&state);
  }
};

Bzip2BlockReplay::Bzip2BlockReplay(std::vector<std::uint8_t> stream, std::uint64_t size,
                                   std::uint64_t producedBefore)
    : stream_(std::move(stream)),
      decompressor_(std::make_unique<Decompressor>()),
      size_(size),
      producedBefore_(producedBefore) {
  if (const int result = BZ2_bzDecompressInit(&decompressor_->state, 0, 0); result != BZ_OK) {
    fail(std::string("bzip2 decompressor cannot start (") + bzip2ErrorText(result) + ")");
    return;
  }
  decompressor_->open = true;
  // libbz2 takes non-const input; it never writes to it.
  decompressor_->state.next_in = reinterpret_cast<char*>(stream_.data());
  decompressor_->state.avail_in =
      static_cast<unsigned int>(std::min<std::size_t>(stream_.size(), UINT_MAX / 2));
}

Bzip2BlockReplay::~Bzip2BlockReplay() = default;

std::size_t Bzip2BlockReplay::read(std::span<std::uint8_t> into) {
  if (!failure().empty() || handedOut_ == size_) return 0;
  bz_stream& state = decompressor_->state;
  const auto room = static_cast<unsigned int>(
      std::min<std::uint64_t>({into.size(), size_ - handedOut_, UINT_MAX / 2}));
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
