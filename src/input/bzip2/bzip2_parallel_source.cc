#include "input/bzip2/bzip2_parallel_source.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/memory_budgets.h"
#include "input/bzip2/bzip2_block_replay.h"
#include "input/bzip2/bzip2_source.h"
#include "input/compressed_input.h"

namespace tarvex::input {

namespace {

std::uint32_t rotateLeft(std::uint32_t value) {
  return (value << 1) | (value >> 31);
}

bool isStreamHeader(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 4 && bytes[0] == 'B' && bytes[1] == 'Z' && bytes[2] == 'h' &&
         bytes[3] >= '1' && bytes[3] <= '9';
}

// Serves a bit string that starts at any bit of the input as whole bytes: the bytes at hand,
// then the rest of the input, all shifted left by `shift` bits. The last byte is padded with
// zero bits.
class ShiftedSource final : public ByteSource {
 public:
  ShiftedSource(std::vector<std::uint8_t> bytes, std::unique_ptr<ByteSource> rest, bool restEnded,
                unsigned shift)
      : bytes_(std::move(bytes)), rest_(std::move(rest)), restEnded_(restEnded), shift_(shift) {}

  std::size_t read(std::span<std::uint8_t> into) override {
    // Each shifted byte takes bits from the byte after it too.
    while (bytes_.size() - at_ < 2 && !restEnded_) refill();
    const std::size_t have = bytes_.size() - at_;
    if (have == 0) {
      if (!rest_->failure().empty()) fail(std::string(rest_->failure()));
      return 0;
    }
    const std::uint8_t* source = bytes_.data() + at_;
    if (shift_ == 0) {
      const std::size_t count = std::min(into.size(), have);
      std::memcpy(into.data(), source, count);
      at_ += count;
      return count;
    }
    if (have == 1) {  // the input has ended
      into[0] = static_cast<std::uint8_t>(source[0] << shift_);
      at_ += 1;
      return 1;
    }
    const std::size_t count = std::min(into.size(), have - 1);
    for (std::size_t k = 0; k < count; ++k) {
      into[k] = static_cast<std::uint8_t>((source[k] << shift_) | (source[k + 1] >> (8 - shift_)));
    }
    at_ += count;
    return count;
  }

 private:
  void refill() {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(at_));
    at_ = 0;
    const std::size_t size = bytes_.size();
    bytes_.resize(size + budgets::kBzip2ParallelReadSize);
    const std::size_t got = rest_->read({bytes_.data() + size, budgets::kBzip2ParallelReadSize});
    bytes_.resize(size + got);
    if (got == 0) restEnded_ = true;
  }

  std::vector<std::uint8_t> bytes_;
  std::size_t at_ = 0;
  std::unique_ptr<ByteSource> rest_;
  bool restEnded_;
  unsigned shift_;
};

}  // namespace

ParallelBzip2Source::ParallelBzip2Source(std::unique_ptr<ByteSource> compressed,
                                         std::span<const std::uint8_t> peeked, unsigned workers)
    : scanner_(std::move(compressed), peeked),
      depth_(workers == 0 ? 0 : std::size_t{workers} + budgets::kBzip2SpareJobs),
      pool_(workers) {
  if (isStreamHeader(peeked)) planLevel_ = level_ = peeked[3] - '0';
}

ParallelBzip2Source::~ParallelBzip2Source() = default;

// ---- Speculative jobs -------------------------------------------------------------------------

std::shared_ptr<ParallelBzip2Source::Job> ParallelBzip2Source::makeJob(std::uint64_t from,
                                                                       std::uint64_t to,
                                                                       int level) {
  auto job = std::make_shared<Job>();
  job->from = from;
  job->to = to;
  job->level = level;
  std::span<const std::uint8_t> bytes = scanner_.windowFrom(from / 8);
  const std::size_t count = static_cast<std::size_t>((to + 7) / 8 - from / 8);
  job->raw.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
  job->crc = static_cast<std::uint32_t>(readBits(job->raw, from % 8 + 48, 32));
  return job;
}

// Keeps `depth_` candidate blocks ahead of the confirmed position with their jobs submitted.
void ParallelBzip2Source::planJobs() {
  if (phase_ != Phase::kInStream && phase_ != Phase::kStreamStart) return;
  plannedFrom_ = std::max(plannedFrom_, position_);
  while (jobs_.size() < depth_) {
    const Bzip2Mark* mark = scanner_.markAfter(plannedFrom_, plannedFrom_ + maxBzip2BlockBits(9));
    if (mark == nullptr) return;
    const Bzip2Mark start = *mark;
    plannedFrom_ = start.bit + 1;
    if (start.kind == Bzip2Mark::Kind::kEnd) {
      // The stream may end here; the header of the next one gives the level of its blocks.
      const std::uint64_t header = (start.bit + 80 + 7) / 8;
      if (scanner_.haveBytes(header + 4) && isStreamHeader(scanner_.windowFrom(header))) {
        planLevel_ = scanner_.windowFrom(header)[3] - '0';
      }
      continue;
    }
    const std::uint64_t limit = start.bit + maxBzip2BlockBits(planLevel_);
    const Bzip2Mark* next = scanner_.markAfter(start.bit + 1, limit);
    // No boundary near enough: the candidate is no block; the confirmed walk will see to it.
    if (next == nullptr || next->bit > limit) continue;
    std::shared_ptr<Job> job = makeJob(start.bit, next->bit, planLevel_);
    jobs_.push_back(job);
    pool_.submit(job, false);
  }
}

bool ParallelBzip2Source::nextJobReady() {
  if (phase_ != Phase::kInStream || jobs_.empty() || jobs_.front()->from != position_) return false;
  return pool_.finished(*jobs_.front());
}

// ---- The confirmed walk -----------------------------------------------------------------------

void ParallelBzip2Source::stopWith(std::string reason) {
  fail(std::move(reason));
  phase_ = Phase::kDone;
}

// Moves the walk on by one step: to the next block (its bytes then wait in head_ or streaming_),
// through an end marker and the next stream header, to the end of the input, or over to the
// sequential reader.
void ParallelBzip2Source::advance() {
  for (;;) {
    if (phase_ == Phase::kStreamStart) {
      const std::uint64_t byte = position_ / 8;
      scanner_.haveBytes(byte + 10);
      std::span<const std::uint8_t> header = scanner_.windowFrom(byte);
      if (header.empty() && scanner_.inputEnded() && scanner_.inputFailure().empty()) {
        phase_ = Phase::kDone;
        return;
      }
      // The level is read first: looking for the mark may read on and move the window.
      const int level = isStreamHeader(header) ? header[3] - '0' : 0;
      if (level != 0 && scanner_.markAt((byte + 4) * 8) != nullptr) {
        level_ = level;
        combinedCrc_ = 0;
        position_ = (byte + 4) * 8;
        phase_ = Phase::kInStream;
        scanner_.dropBefore(position_);
        continue;
      }
      // Bytes after the last stream, a damaged or cut header, a read error: the sequential
      // reader says what it is.
      handOverToSequential(position_, false);
      return;
    }
    if (phase_ != Phase::kInStream) return;
    const Bzip2Mark* mark = scanner_.markAt(position_);
    if (mark == nullptr) {
      handOverToSequential(position_, true);
      return;
    }
    if (mark->kind == Bzip2Mark::Kind::kBlock) {
      decodeHeadBlock();
      return;
    }
    const std::uint64_t crcEnd = position_ + 80;
    if (!scanner_.haveBytes((crcEnd + 7) / 8)) {
      handOverToSequential(position_, true);  // cut inside the end marker
      return;
    }
    const auto stored = static_cast<std::uint32_t>(scanner_.bitsAt(position_ + 48, 32));
    if (stored != combinedCrc_) {
      stopWith(damagedDataText("bzip2", "data integrity error", produced_));
      return;
    }
    position_ = (crcEnd + 7) / 8 * 8;
    phase_ = Phase::kStreamStart;
    scanner_.dropBefore(position_);
  }
}

// Decodes the block at position_, from its speculative job or afresh.
bool ParallelBzip2Source::decodeHeadBlock() {
  while (!jobs_.empty() && jobs_.front()->from < position_) {
    pool_.cancel(*jobs_.front());
    jobs_.pop_front();
  }
  const std::uint64_t limit = position_ + maxBzip2BlockBits(level_);
  std::shared_ptr<Job> job;
  if (!jobs_.empty() && jobs_.front()->from == position_) {
    job = jobs_.front();
  } else {
    const Bzip2Mark* next = scanner_.markAfter(position_ + 1, limit);
    if (next == nullptr || next->bit > limit) {
      handOverToSequential(position_, true);
      return false;
    }
    job = makeJob(position_, next->bit, level_);
    jobs_.push_front(job);
    pool_.submit(job, true);
  }
  pool_.waitFor(*job);
  jobs_.pop_front();
  if (job->result != Bzip2BlockResult::kFailed && job->level == level_) {
    accept(std::move(job));
    return true;
  }

  // A false signature inside the block may have cut it short: try it up to the boundaries
  // behind it, one by one, as long as it can still be one block. A job made for another level
  // is first tried again as it was.
  std::uint64_t end = job->to;
  bool sameEnd = job->level != level_;
  for (;;) {
    if (!sameEnd) {
      const Bzip2Mark* next = scanner_.markAfter(end + 1, limit);
      if (next == nullptr || next->bit > limit) break;
      end = next->bit;
    }
    sameEnd = false;
    std::shared_ptr<Job> merged = makeJob(position_, end, level_);
    pool_.decodeHere(*merged);
    if (merged->result == Bzip2BlockResult::kFailed) continue;
    accept(std::move(merged));
    return true;
  }
  // Damage (or a file cut short): the sequential reader decodes what it can and names it.
  handOverToSequential(position_, true);
  return false;
}

void ParallelBzip2Source::accept(std::shared_ptr<Job> job) {
  combinedCrc_ = rotateLeft(combinedCrc_) ^ job->crc;
  position_ = job->to;
  scanner_.dropBefore(position_);
  if (job->result == Bzip2BlockResult::kOversized) {
    streaming_ =
        std::make_unique<Bzip2BlockReplay>(std::move(job->stream), job->oversizedOutput, produced_);
  }
  head_ = std::move(job);
  headUsed_ = 0;
}

// From `bit` on, the sequential reader takes over: a stream of its own for the rest of the
// stream that `bit` is in (inStream), or the input itself from a stream boundary.
void ParallelBzip2Source::handOverToSequential(std::uint64_t bit, bool inStream) {
  pool_.cancelQueued();
  jobs_.clear();
  std::vector<std::uint8_t> header;
  if (inStream) header = {'B', 'Z', 'h', static_cast<std::uint8_t>('0' + level_)};
  const auto shift = static_cast<unsigned>(bit % 8);
  Bzip2BlockScanner::Rest rest = scanner_.release(bit / 8);
  auto sequential = std::make_unique<Bzip2Source>(
      std::make_unique<ShiftedSource>(std::move(rest.bytes), std::move(rest.source),
                                      rest.sourceEnded, shift),
      header, produced_);
  if (shift != 0) sequential->setLastByteIsPadded();
  streaming_ = std::move(sequential);
  phase_ = Phase::kSequential;
}

std::size_t ParallelBzip2Source::read(std::span<std::uint8_t> into) {
  std::size_t written = 0;
  while (written < into.size()) {
    std::span<std::uint8_t> rest = into.subspan(written);
    if (streaming_) {
      const std::size_t got = streaming_->read(rest);
      written += got;
      produced_ += got;
      if (got != 0) continue;
      if (phase_ == Phase::kSequential) {
        if (!streaming_->failure().empty()) fail(std::string(streaming_->failure()));
        phase_ = Phase::kDone;
        streaming_.reset();
        break;
      }
      // An oversized block, all handed out. It was checked, so only libbz2 running out of
      // memory could fail it now.
      if (!streaming_->failure().empty()) stopWith(std::string(streaming_->failure()));
      streaming_.reset();
      head_.reset();
      continue;
    }
    if (head_ && headUsed_ < head_->output.size()) {
      const std::size_t count = std::min(rest.size(), head_->output.size() - headUsed_);
      std::memcpy(rest.data(), head_->output.data() + headUsed_, count);
      headUsed_ += count;
      written += count;
      produced_ += count;
      continue;
    }
    if (head_) {
      pool_.recycle(std::move(head_->output));
      head_.reset();
    }
    if (phase_ == Phase::kDone) break;
    // Hand out what is ready rather than wait for the next block.
    if (written != 0 && !nextJobReady()) break;
    planJobs();
    advance();
  }
  return written;
}

}  // namespace tarvex::input
