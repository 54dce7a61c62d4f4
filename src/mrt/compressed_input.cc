#include "mrt/compressed_input.h"

#include <algorithm>
#include <cstring>

namespace tarvex::mrt {

CompressedInput::CompressedInput(std::unique_ptr<ByteSource> source,
                                 std::span<const std::uint8_t> peeked)
    : source_(std::move(source)),
      buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(kCapacity)) {
  // The peeked bytes are a handful of magic bytes, far below the capacity.
  std::size_t count = std::min(peeked.size(), kCapacity);
  std::copy_n(peeked.begin(), count, buffer_.get());
  end_ = count;
}

bool CompressedInput::refill() {
  if (ended_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == kCapacity) return false;  // nothing consumed yet: the caller must use what it has
  std::size_t got = source_->read({buffer_.get() + end_, kCapacity - end_});
  if (got == 0) {
    ended_ = true;
    return false;
  }
  end_ += got;
  return true;
}

}  // namespace tarvex::mrt
