#include "input/compressed_input.h"

#include <algorithm>
#include <cstring>

#include "base/memory_budgets.h"

namespace tarvex::input {

namespace {

constexpr std::size_t kCapacity = budgets::kCompressedReadAhead;

}  // namespace

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

std::string damagedDataText(std::string_view format, std::string_view problem,
                            std::uint64_t produced) {
  return std::string(format) + " data is damaged (" + std::string(problem) + ") after " +
         std::to_string(produced) + " decompressed bytes";
}

CompressedSource::CompressedSource(std::string_view format, std::unique_ptr<ByteSource> compressed,
                                   std::span<const std::uint8_t> peeked,
                                   std::uint64_t producedBefore)
    : input_(std::move(compressed), peeked), produced_(producedBefore), format_(format) {}

void CompressedSource::stop(std::string reason) {
  fail(std::move(reason));
  done_ = true;
}

void CompressedSource::stopDamagedAfterHandingOut(std::string_view problem) {
  failAfterHandingOutDamagedBytes(damagedDataText(format_, problem, produced_));
  done_ = true;
}

void CompressedSource::stopEarlyEnd() {
  if (!input_.sourceFailure().empty()) {
    stop(std::string(input_.sourceFailure()));
  } else {
    stop(std::string(format_) + " data ends early (the file is cut short) after " +
         std::to_string(produced_) + " decompressed bytes");
  }
}

bool CompressedSource::nextStreamStarts(std::span<const std::uint8_t> magic) {
  input_.want(magic.size());
  if (input_.size() == 0) {
    if (!input_.sourceFailure().empty()) {
      stop(std::string(input_.sourceFailure()));
    } else {
      done_ = true;
    }
    return false;
  }
  if (input_.size() >= magic.size() && std::equal(magic.begin(), magic.end(), input_.data())) {
    return true;
  }
  // Something follows the last stream.
  if (std::string problem = input_.dropTrailingBytes(format_); !problem.empty()) {
    stop(std::move(problem));
  } else {
    done_ = true;
  }
  return false;
}

}  // namespace tarvex::input
