#include "mrt/record_reader.h"

#include <algorithm>
#include <cstring>

#include "mrt/byte_cursor.h"

namespace tarvex::mrt {

namespace {

// One read asks for at least this much room, so that refills stay large system calls.
constexpr std::size_t kMinimumRead = 256 * 1024;
constexpr std::size_t kInitialCapacity = 2 * 1024 * 1024;

}  // namespace

RecordReader::RecordReader(std::unique_ptr<ByteSource> input)
    : input_(std::move(input)),
      buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(kInitialCapacity)),
      capacity_(kInitialCapacity) {}

void RecordReader::stop(std::string reason) {
  if (damage_.empty()) {
    damage_ = std::move(reason);
    if (offset_ > 0) damage_ += "; the records before it were searched";
  }
  inputEnded_ = true;
}

// Makes `count` bytes available from `begin_` on. False when the input ends (or fails) first.
bool RecordReader::fill(std::size_t count) {
  if (end_ - begin_ >= count) return true;
  if (inputEnded_) return false;
  if (capacity_ - begin_ < count || capacity_ - end_ < kMinimumRead) {
    const std::size_t pending = end_ - begin_;
    if (capacity_ < count) {
      // Only a record larger than the buffer gets here; `count` is bounded by the record limit.
      std::size_t grown =
          std::max(count, std::min(capacity_ * 2, kMrtHeaderSize + kMaxRecordLength));
      auto larger = std::make_unique_for_overwrite<std::uint8_t[]>(grown);
      std::memcpy(larger.get(), buffer_.get() + begin_, pending);
      buffer_ = std::move(larger);
      capacity_ = grown;
    } else {
      std::memmove(buffer_.get(), buffer_.get() + begin_, pending);
    }
    begin_ = 0;
    end_ = pending;
  }
  while (end_ - begin_ < count) {
    std::size_t got = input_->read({buffer_.get() + end_, capacity_ - end_});
    if (got == 0) {
      inputEnded_ = true;
      return false;
    }
    end_ += got;
  }
  return true;
}

// An impossible length is most often the first sign of damaged compressed data: a bzip2 block or
// a gzip member is checked only at its end, after its bytes were handed out. Reading on a little
// lets the decompressor name the damage, which says more than the garbage length does.
bool RecordReader::inputFailsAhead() {
  constexpr std::size_t kLookAhead = 4 * 1024 * 1024;
  std::size_t read = 0;
  while (read < kLookAhead && !inputEnded_) {
    // The records handed out are no longer needed: the whole buffer is scratch space now.
    std::size_t got = input_->read({buffer_.get(), std::min(capacity_, kLookAhead - read)});
    if (got == 0) inputEnded_ = true;
    read += got;
  }
  inputEnded_ = true;
  begin_ = end_ = 0;
  if (input_->failure().empty()) return false;
  stop(std::string(input_->failure()));
  return true;
}

bool RecordReader::next(MrtRecord& record) {
  if (!damage_.empty()) return false;
  if (!fill(kMrtHeaderSize)) {
    if (!input_->failure().empty()) {
      stop(std::string(input_->failure()));
    } else if (end_ != begin_) {
      stop("the file ends inside a record header (" + std::to_string(end_ - begin_) +
           " stray bytes at the end)");
    }
    return false;
  }
  ByteCursor header({buffer_.get() + begin_, kMrtHeaderSize});
  std::uint32_t length = 0;
  // The header is all there: these reads cannot fail.
  (void)header.u32be(record.timestamp);
  (void)header.u16be(record.type);
  (void)header.u16be(record.subtype);
  (void)header.u32be(length);
  if (length > kMaxRecordLength) {
    if (!inputFailsAhead()) {
      stop("a record at byte " + std::to_string(offset_) + " claims a length of " +
           std::to_string(length) + " bytes, which cannot be right");
    }
    return false;
  }
  const std::size_t total = kMrtHeaderSize + std::size_t{length};
  if (!fill(total)) {
    if (!input_->failure().empty()) {
      stop(std::string(input_->failure()));
    } else {
      stop("the file ends inside a record (" + std::to_string(end_ - begin_) + " of its " +
           std::to_string(total) + " bytes are there)");
    }
    return false;
  }
  record.body = {buffer_.get() + begin_ + kMrtHeaderSize, std::size_t{length}};
  begin_ += total;
  offset_ += total;
  return true;
}

}  // namespace tarvex::mrt
