#include "input/bzip2_parallel_source.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "input/bzip2_source.h"

namespace tarvex::input {

namespace {

constexpr std::size_t kReadSize = 256 * 1024;
// Output a job keeps; a block that gives more is decoded again, streaming, in its turn.
constexpr std::size_t kOutputLimit = 2 * 1024 * 1024;
// Compressed bytes before the first one still needed are dropped in steps of this size.
constexpr std::uint64_t kDropStep = 1024 * 1024;

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
    bytes_.resize(size + kReadSize);
    const std::size_t got = rest_->read({bytes_.data() + size, kReadSize});
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

struct ParallelBzip2Source::Job {
  std::uint64_t from = 0;  // bit where its block signature starts
  std::uint64_t to = 0;    // bit where the next signature starts
  int level = 9;
  std::vector<std::uint8_t> raw;  // the input bytes that hold bits [from, to)
  std::uint32_t crc = 0;          // the block CRC stored after the signature
  bool cancelled = false;         // nobody waits for it any more
  // Written by the worker; read once `finished` is set (both under the mutex).
  bool finished = false;
  Bzip2BlockResult result = Bzip2BlockResult::kFailed;
  std::vector<std::uint8_t> output;
  std::vector<std::uint8_t> stream;  // the one-block stream of an oversized block
};

ParallelBzip2Source::ParallelBzip2Source(std::unique_ptr<ByteSource> compressed,
                                         std::span<const std::uint8_t> peeked, unsigned workers)
    : raw_(std::move(compressed)),
      window_(peeked.begin(), peeked.end()),
      depth_(std::size_t{std::max(workers, 1u)} + 2) {
  if (isStreamHeader(peeked)) planLevel_ = level_ = peeked[3] - '0';
  for (unsigned i = 0; i < std::max(workers, 1u); ++i) {
    workers_.emplace_back([this] { workerLoop(); });
  }
}

ParallelBzip2Source::~ParallelBzip2Source() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  workToDo_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

// ---- Compressed input -------------------------------------------------------------------------

// Reads more input behind the window and looks for signatures in it. False at the end.
bool ParallelBzip2Source::readInput() {
  std::size_t got = 0;
  if (!rawEnded_) {
    const std::size_t size = window_.size();
    window_.resize(size + kReadSize);
    got = raw_->read({window_.data() + size, kReadSize});
    window_.resize(size + got);
    if (got == 0) rawEnded_ = true;
  }
  const std::uint64_t base = windowBase_ * 8;
  const std::uint64_t end = base + std::uint64_t{window_.size()} * 8;
  // A signature that may run past the bytes at hand waits for more of them.
  const std::uint64_t to = rawEnded_ ? end : std::max(end, base + 47) - 47;
  const std::uint64_t from = std::max(scanned_, base);
  if (from < to) {
    std::vector<Bzip2Mark> found;
    findBzip2Marks(window_, from - base, to - base, base, found);
    marks_.insert(marks_.end(), found.begin(), found.end());
  }
  scanned_ = rawEnded_ ? std::numeric_limits<std::uint64_t>::max() : std::max(scanned_, to);
  return got != 0;
}

bool ParallelBzip2Source::haveBytes(std::uint64_t end) {
  while (windowBase_ + window_.size() < end) {
    if (!readInput()) return false;
  }
  return true;
}

std::span<const std::uint8_t> ParallelBzip2Source::windowFrom(std::uint64_t byte) const {
  if (byte < windowBase_ || byte >= windowBase_ + window_.size()) return {};
  return std::span<const std::uint8_t>(window_).subspan(
      static_cast<std::size_t>(byte - windowBase_));
}

// The mark `nth` places after the first one at or after `bit`; null when the input ends, or the
// scan passes `limit`, before it is found. The pointer is good until marks are dropped.
const Bzip2Mark* ParallelBzip2Source::markAfter(std::uint64_t bit, std::size_t nth,
                                                std::uint64_t limit) {
  for (;;) {
    auto found =
        std::lower_bound(marks_.begin(), marks_.end(), bit,
                         [](const Bzip2Mark& mark, std::uint64_t at) { return mark.bit < at; });
    const std::size_t index = static_cast<std::size_t>(found - marks_.begin()) + nth;
    if (index < marks_.size()) return &marks_[index];
    if (scanned_ > limit) return nullptr;
    readInput();
  }
}

const Bzip2Mark* ParallelBzip2Source::markAt(std::uint64_t bit) {
  const Bzip2Mark* mark = markAfter(bit, 0, bit);
  return mark != nullptr && mark->bit == bit ? mark : nullptr;
}

void ParallelBzip2Source::dropBefore(std::uint64_t bit) {
  while (!marks_.empty() && marks_.front().bit < bit) marks_.pop_front();
  const std::uint64_t byte = bit / 8;
  if (byte > windowBase_ + kDropStep) {
    const std::uint64_t drop = std::min<std::uint64_t>(byte - windowBase_, window_.size());
    window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(drop));
    windowBase_ += drop;
  }
}

// ---- Jobs -------------------------------------------------------------------------------------

std::shared_ptr<ParallelBzip2Source::Job> ParallelBzip2Source::makeJob(std::uint64_t from,
                                                                       std::uint64_t to,
                                                                       int level) {
  auto job = std::make_shared<Job>();
  job->from = from;
  job->to = to;
  job->level = level;
  std::span<const std::uint8_t> bytes = windowFrom(from / 8);
  const std::size_t count = static_cast<std::size_t>((to + 7) / 8 - from / 8);
  job->raw.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
  job->crc = static_cast<std::uint32_t>(readBits(job->raw, from % 8 + 48, 32));
  return job;
}

void ParallelBzip2Source::submit(const std::shared_ptr<Job>& job, bool first) {
  {
    std::lock_guard lock(mutex_);
    if (first) {
      queue_.push_front(job);
    } else {
      queue_.push_back(job);
    }
  }
  workToDo_.notify_one();
}

// Keeps `depth_` candidate blocks ahead of the confirmed position with their jobs submitted.
void ParallelBzip2Source::planJobs() {
  if (phase_ != Phase::kInStream && phase_ != Phase::kStreamStart) return;
  plannedFrom_ = std::max(plannedFrom_, position_);
  while (jobs_.size() < depth_) {
    const Bzip2Mark* mark = markAfter(plannedFrom_, 0, plannedFrom_ + maxBzip2BlockBits(9));
    if (mark == nullptr) return;
    const Bzip2Mark start = *mark;
    plannedFrom_ = start.bit + 1;
    if (start.kind == Bzip2Mark::Kind::kEnd) {
      // The stream may end here; the header of the next one gives the level of its blocks.
      const std::uint64_t header = (start.bit + 80 + 7) / 8;
      if (haveBytes(header + 4) && isStreamHeader(windowFrom(header))) {
        planLevel_ = windowFrom(header)[3] - '0';
      }
      continue;
    }
    const std::uint64_t limit = start.bit + maxBzip2BlockBits(planLevel_);
    const Bzip2Mark* next = markAfter(start.bit + 1, 0, limit);
    // No boundary near enough: the candidate is no block; the confirmed walk will see to it.
    if (next == nullptr || next->bit > limit) continue;
    std::shared_ptr<Job> job = makeJob(start.bit, next->bit, planLevel_);
    jobs_.push_back(job);
    submit(job, false);
  }
}

bool ParallelBzip2Source::nextJobReady() {
  if (phase_ != Phase::kInStream || jobs_.empty() || jobs_.front()->from != position_) return false;
  std::lock_guard lock(mutex_);
  return jobs_.front()->finished;
}

void ParallelBzip2Source::waitFor(const Job& job) {
  std::unique_lock lock(mutex_);
  jobDone_.wait(lock, [&] { return job.finished; });
}

void ParallelBzip2Source::workerLoop() {
  Bzip2Memory memory;
  std::vector<std::uint8_t> stream;
  for (;;) {
    std::shared_ptr<Job> job;
    std::vector<std::uint8_t> output;
    bool cancelled = false;
    {
      std::unique_lock lock(mutex_);
      workToDo_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
      cancelled = job->cancelled;
      if (!spareOutputs_.empty()) {
        output = std::move(spareOutputs_.back());
        spareOutputs_.pop_back();
      }
    }
    Bzip2BlockResult result = Bzip2BlockResult::kFailed;
    if (!cancelled) {
      const Bzip2BitRange piece{job->raw, job->from % 8, job->to - job->from};
      wrapBzip2Block({&piece, 1}, job->level, stream);
      result = decodeBzip2Block(stream, kOutputLimit, memory, output);
    }
    {
      std::lock_guard lock(mutex_);
      job->result = result;
      job->output = std::move(output);
      if (result == Bzip2BlockResult::kOversized) job->stream = stream;
      job->finished = true;
    }
    jobDone_.notify_all();
  }
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
      haveBytes(byte + 10);
      std::span<const std::uint8_t> header = windowFrom(byte);
      if (header.empty() && rawEnded_ && raw_->failure().empty()) {
        phase_ = Phase::kDone;
        return;
      }
      if (isStreamHeader(header) && markAt((byte + 4) * 8) != nullptr) {
        level_ = header[3] - '0';
        combinedCrc_ = 0;
        position_ = (byte + 4) * 8;
        phase_ = Phase::kInStream;
        dropBefore(position_);
        continue;
      }
      // Bytes after the last stream, a damaged or cut header, a read error: the sequential
      // reader says what it is.
      handOverToSequential(position_, false);
      return;
    }
    if (phase_ != Phase::kInStream) return;
    const Bzip2Mark* mark = markAt(position_);
    if (mark == nullptr) {
      handOverToSequential(position_, true);
      return;
    }
    if (mark->kind == Bzip2Mark::Kind::kBlock) {
      decodeHeadBlock();
      return;
    }
    const std::uint64_t crcEnd = position_ + 80;
    if (!haveBytes((crcEnd + 7) / 8)) {
      handOverToSequential(position_, true);  // cut inside the end marker
      return;
    }
    const auto stored =
        static_cast<std::uint32_t>(readBits(window_, position_ + 48 - windowBase_ * 8, 32));
    if (stored != combinedCrc_) {
      stopWith("bzip2 data is damaged (data integrity error) after " + std::to_string(produced_) +
               " decompressed bytes");
      return;
    }
    position_ = (crcEnd + 7) / 8 * 8;
    phase_ = Phase::kStreamStart;
    dropBefore(position_);
  }
}

// Decodes the block at position_, from its speculative job or afresh.
bool ParallelBzip2Source::decodeHeadBlock() {
  while (!jobs_.empty() && jobs_.front()->from < position_) {
    {
      std::lock_guard lock(mutex_);
      jobs_.front()->cancelled = true;
    }
    jobs_.pop_front();
  }
  const std::uint64_t limit = position_ + maxBzip2BlockBits(level_);
  std::shared_ptr<Job> job;
  if (!jobs_.empty() && jobs_.front()->from == position_) {
    job = jobs_.front();
  } else {
    const Bzip2Mark* next = markAfter(position_ + 1, 0, limit);
    if (next == nullptr || next->bit > limit) {
      handOverToSequential(position_, true);
      return false;
    }
    job = makeJob(position_, next->bit, level_);
    jobs_.push_front(job);
    submit(job, true);
  }
  waitFor(*job);
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
      const Bzip2Mark* next = markAfter(end + 1, 0, limit);
      if (next == nullptr || next->bit > limit) break;
      end = next->bit;
    }
    sameEnd = false;
    std::shared_ptr<Job> merged = makeJob(position_, end, level_);
    const Bzip2BitRange piece{merged->raw, position_ % 8, end - position_};
    wrapBzip2Block({&piece, 1}, level_, stream_);
    merged->result = decodeBzip2Block(stream_, kOutputLimit, memory_, merged->output);
    if (merged->result == Bzip2BlockResult::kFailed) continue;
    if (merged->result == Bzip2BlockResult::kOversized) merged->stream = stream_;
    merged->finished = true;
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
  dropBefore(position_);
  if (job->result == Bzip2BlockResult::kOversized) {
    streaming_ = std::make_unique<Bzip2Source>(std::make_unique<MemorySource>(job->stream),
                                               std::span<const std::uint8_t>(), produced_);
  }
  head_ = std::move(job);
  headUsed_ = 0;
}

// From `bit` on, the sequential reader takes over: a stream of its own for the rest of the
// stream that `bit` is in (inStream), or the input itself from a stream boundary.
void ParallelBzip2Source::handOverToSequential(std::uint64_t bit, bool inStream) {
  {
    std::lock_guard lock(mutex_);
    for (const std::shared_ptr<Job>& job : queue_) job->cancelled = true;
    queue_.clear();
  }
  jobs_.clear();
  std::span<const std::uint8_t> rest = windowFrom(bit / 8);
  std::vector<std::uint8_t> header;
  if (inStream) header = {'B', 'Z', 'h', static_cast<std::uint8_t>('0' + level_)};
  const auto shift = static_cast<unsigned>(bit % 8);
  auto sequential = std::make_unique<Bzip2Source>(
      std::make_unique<ShiftedSource>(std::vector<std::uint8_t>(rest.begin(), rest.end()),
                                      std::move(raw_), rawEnded_, shift),
      header, produced_);
  if (shift != 0) sequential->setLastByteIsPadded();
  streaming_ = std::move(sequential);
  phase_ = Phase::kSequential;
  window_.clear();
  window_.shrink_to_fit();
  marks_.clear();
}

std::size_t ParallelBzip2Source::read(std::span<std::uint8_t> into) {
  std::size_t written = 0;
  while (written < into.size()) {
    std::span<std::uint8_t> rest = into.subspan(written);
    if (streaming_) {
      const std::size_t got = streaming_->read(rest);
      if (got != 0) {
        written += got;
        produced_ += got;
        continue;
      }
      if (phase_ == Phase::kSequential) {
        if (!streaming_->failure().empty()) fail(std::string(streaming_->failure()));
        phase_ = Phase::kDone;
        streaming_.reset();
        break;
      }
      // An oversized block, all handed out (it was verified, so it cannot fail).
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
      std::lock_guard lock(mutex_);
      if (spareOutputs_.size() < workers_.size()) spareOutputs_.push_back(std::move(head_->output));
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
