#include "mrt/record_batcher.h"

#include <algorithm>
#include <cstring>

namespace tarvex::mrt {

namespace {

using budgets::kBatchBuffer;
using budgets::kBatcherMemory;

// Released standard buffers kept for reuse: as many as the budget holds.
constexpr std::size_t kKeptBuffers = kBatcherMemory / kBatchBuffer;

// The length field of the record header at `at`, which the buffer holds whole.
std::uint32_t lengthAt(const std::uint8_t* bytes, std::size_t at) {
  return readMrtHeader(std::span<const std::uint8_t, kMrtHeaderSize>(bytes + at, kMrtHeaderSize))
      .length;
}

}  // namespace

struct RecordBatcher::Buffer {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t capacity = 0;
};

// Hands out buffers within the memory budget and takes them back from any thread.
class RecordBatcher::Pool : public std::enable_shared_from_this<Pool> {
 public:
  /// A buffer of at least `size` bytes. Waits while the buffers alive, apart from the
  /// `heldByCaller` bytes that only the caller can release, leave no room in the budget.
  std::shared_ptr<Buffer> acquire(std::size_t size, std::size_t heldByCaller) {
    std::unique_ptr<Buffer> buffer;
    {
      std::unique_lock lock(mutex_);
      released_.wait(lock,
                     [&] { return alive_ + size <= kBatcherMemory || alive_ <= heldByCaller; });
      alive_ += std::max(size, kBatchBuffer);
      if (size <= kBatchBuffer && !spare_.empty()) {
        buffer = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    if (!buffer) {
      buffer = std::make_unique<Buffer>();
      buffer->capacity = std::max(size, kBatchBuffer);
      buffer->bytes = std::make_unique_for_overwrite<std::uint8_t[]>(buffer->capacity);
    }
    std::weak_ptr<Pool> pool = weak_from_this();
    return std::shared_ptr<Buffer>(buffer.release(), [pool](Buffer* released) {
      std::unique_ptr<Buffer> owned(released);
      if (std::shared_ptr<Pool> alive = pool.lock()) alive->release(std::move(owned));
    });
  }

 private:
  void release(std::unique_ptr<Buffer> buffer) {
    std::unique_ptr<Buffer> dropped;
    {
      std::lock_guard lock(mutex_);
      alive_ -= buffer->capacity;
      if (buffer->capacity == kBatchBuffer && spare_.size() < kKeptBuffers) {
        spare_.push_back(std::move(buffer));
      } else {
        dropped = std::move(buffer);  // freed outside the lock
      }
    }
    released_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable released_;
  std::size_t alive_ = 0;  // bytes of the buffers handed out and not yet released
  std::vector<std::unique_ptr<Buffer>> spare_;
};

RecordBatcher::RecordBatcher(std::unique_ptr<input::ByteSource> input)
    : input_(std::move(input)), pool_(std::make_shared<Pool>()) {}

RecordBatcher::~RecordBatcher() = default;

// `beforeVouchedFor`: the records before the stop hold nothing of what caused it.
void RecordBatcher::stop(std::string reason, bool beforeVouchedFor) {
  if (damage_.empty()) {
    damage_ = std::move(reason);
    if (offset_ > 0) {
      damage_ += "; the records before it were searched";
      if (!beforeVouchedFor) {
        damage_ += ", but lines already reported from this file may come from the damaged data";
      }
    }
  }
  inputEnded_ = true;
}

// Damage that the input found only after handing out some of the damaged bytes (a gzip member's
// checksum) leaves the records before it unvouched for.
void RecordBatcher::stopAtInputFailure() {
  stop(std::string(input_->failure()), !input_->mayHaveHandedOutDamagedBytes());
}

// Reads more input behind the bytes not handed out, of which the next record needs `needed`.
// Moves those bytes to a fresh buffer first when the current one has too little room left.
// False when the input has ended (or failed).
bool RecordBatcher::readMore(std::size_t needed) {
  if (inputEnded_) return false;
  if (!current_ || current_->capacity - begin_ < needed ||
      current_->capacity - end_ < budgets::kBatcherMinimumRead) {
    const std::size_t pending = end_ - begin_;
    const std::size_t held = current_ ? current_->capacity : 0;
    std::shared_ptr<Buffer> fresh = pool_->acquire(std::max(needed, kBatchBuffer), held);
    if (pending != 0) std::memcpy(fresh->bytes.get(), current_->bytes.get() + begin_, pending);
    current_ = std::move(fresh);
    begin_ = 0;
    end_ = pending;
  }
  std::size_t got = input_->read({current_->bytes.get() + end_, current_->capacity - end_});
  if (got == 0) {
    inputEnded_ = true;
    return false;
  }
  end_ += got;
  return true;
}

// An impossible length is most often the first sign of damaged compressed data: a bzip2 block or
// a gzip member is checked only at its end, after its bytes were handed out. Reading on a little
// lets the decompressor name the damage, which says more than the garbage length does.
bool RecordBatcher::inputFailsAhead() {
  // Batches handed out may still be in use: read into scratch space of its own.
  current_.reset();
  begin_ = end_ = 0;
  constexpr std::size_t kScratch = budgets::kDamageLookAheadScratch;
  constexpr std::size_t kLookAhead = budgets::kDamageLookAhead;
  auto scratch = std::make_unique_for_overwrite<std::uint8_t[]>(kScratch);
  std::size_t read = 0;
  while (read < kLookAhead && !inputEnded_) {
    std::size_t got = input_->read({scratch.get(), std::min(kScratch, kLookAhead - read)});
    if (got == 0) inputEnded_ = true;
    read += got;
  }
  inputEnded_ = true;
  if (input_->failure().empty()) return false;
  stopAtInputFailure();
  return true;
}

bool RecordBatcher::next(RecordBatch& batch) {
  batch = RecordBatch();
  if (!damage_.empty()) return false;
  if (stopAfterBatch_) {
    stopAfterBatch_ = false;
    const std::uint32_t length = lengthAt(current_->bytes.get(), begin_);
    if (!inputFailsAhead()) {
      stop("a record at byte " + std::to_string(offset_) + " claims a length of " +
           std::to_string(length) + " bytes, which cannot be right");
    }
    return false;
  }
  for (;;) {
    // Frame the whole records at hand.
    std::size_t position = begin_;
    std::size_t needed = kMrtHeaderSize;
    const std::uint8_t* bytes = current_ ? current_->bytes.get() : nullptr;
    while (end_ - position >= kMrtHeaderSize) {
      const std::uint32_t length = lengthAt(bytes, position);
      if (length > kMaxRecordLength) {
        stopAfterBatch_ = true;
        break;
      }
      const std::size_t total = kMrtHeaderSize + std::size_t{length};
      if (end_ - position < total) {
        needed = total;
        break;
      }
      position += total;
    }
    if (position != begin_) {
      batch.bytes = {bytes + begin_, position - begin_};
      batch.offset = offset_;
      batch.buffer = current_;
      offset_ += position - begin_;
      begin_ = position;
      return true;
    }
    // The records before an impossible length went out as a batch of their own; with none
    // before it, this call already reports the stop, through the branch at its top.
    if (stopAfterBatch_) return next(batch);

    if (!readMore(needed)) {
      const std::size_t pending = end_ - begin_;
      if (!input_->failure().empty()) {
        stopAtInputFailure();
      } else if (pending >= kMrtHeaderSize) {
        stop("the file ends inside a record (" + std::to_string(pending) + " of its " +
             std::to_string(needed) + " bytes are there)");
      } else if (pending != 0) {
        const std::uint8_t* stray = current_->bytes.get() + begin_;
        if (std::all_of(stray, stray + pending, [](std::uint8_t b) { return b == 0; })) {
          strayZeroBytes_ = pending;
        }
        stop("the file ends inside a record header (" + std::to_string(pending) +
             " stray bytes at the end)");
      }
      current_.reset();
      return false;
    }
  }
}

}  // namespace tarvex::mrt
