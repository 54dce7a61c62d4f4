#include "input/compressed_input.h"

#include <algorithm>
#include <cstring>

namespace tarvex::input {

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

std::string CompressedInput::dropTrailingBytes(std::string_view format) {
  // Zero padding (tape blocks, preallocated files) is harmless; anything else is reported,
  // though every record before it was read.
  std::uint64_t trailing = 0;
  bool allZero = true;
  do {
    const std::uint8_t* bytes = data();
    allZero = allZero && std::all_of(bytes, bytes + size(), [](std::uint8_t b) { return b == 0; });
    trailing += size();
    consume(size());
  } while (refill());
  if (!sourceFailure().empty()) return std::string(sourceFailure());
  if (allZero) return {};
  std::string name(format);
  return "the " + std::to_string(trailing) + " bytes after the end of the " + name +
         " data are not " + name + " data";
}

}  // namespace tarvex::input
