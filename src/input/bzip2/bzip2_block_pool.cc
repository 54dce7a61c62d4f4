#include "input/bzip2/bzip2_block_pool.h"

#include <algorithm>

#include "base/memory_budgets.h"

namespace tarvex::input {

namespace {

std::mutex shelfMutex;
std::vector<std::unique_ptr<Bzip2BlockDecoder>>& shelf() {
  static auto* decoders = new std::vector<std::unique_ptr<Bzip2BlockDecoder>>();  // never freed
  return *decoders;
}

}  // namespace

Bzip2BlockDecoder& Bzip2BlockWorkspace::blockDecoder() {
  if (!decoder) {
    {
      std::lock_guard lock(shelfMutex);
      if (!shelf().empty()) {
        decoder = std::move(shelf().back());
        shelf().pop_back();
      }
    }
    if (!decoder) decoder = std::make_unique<Bzip2BlockDecoder>(budgets::kBzip2BlockOutput);
  }
  return *decoder;
}

Bzip2BlockWorkspace::~Bzip2BlockWorkspace() {
  if (!decoder) return;
  std::lock_guard lock(shelfMutex);
  if (shelf().size() < kShelvedDecoders) shelf().push_back(std::move(decoder));
}

void decodeBlockJob(Bzip2BlockJob& job, Bzip2BlockWorkspace& workspace) {
  const std::uint64_t from = job.from % 8;
  const std::uint64_t to = from + (job.to - job.from);
  const Bzip2BlockDecoder::Block block =
      workspace.blockDecoder().decode(job.raw, from, job.level, job.output);
  // A block that ends before the next signature is no block of its own: libbz2 says so too,
  // but it is also how a false signature inside a block shows, so let libbz2 judge it.
  if (block.decoded && block.end == to) {
    job.result = Bzip2BlockResult::kDecoded;
    return;
  }
  const Bzip2BitRange piece{job.raw, from, to - from};
  wrapBzip2Block({&piece, 1}, job.level, workspace.stream);
  job.result = decodeBzip2Block(workspace.stream, budgets::kBzip2BlockOutput, workspace.memory,
                                job.output, &job.oversizedOutput);
  if (job.result == Bzip2BlockResult::kOversized) job.stream = workspace.stream;
}

Bzip2BlockPool::Bzip2BlockPool(unsigned workers) {
  for (unsigned i = 0; i < workers; ++i) {
    workers_.emplace_back([this] { workerLoop(); });
  }
}

Bzip2BlockPool::~Bzip2BlockPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  workToDo_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void Bzip2BlockPool::submit(const std::shared_ptr<Bzip2BlockJob>& job, bool first) {
  if (workers_.empty()) {
    decodeHere(*job);
    return;
  }
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

void Bzip2BlockPool::decodeHere(Bzip2BlockJob& job) {
  {
    std::lock_guard lock(mutex_);
    giveSpareOutput(job);
  }
  decodeBlockJob(job, here_);
  std::lock_guard lock(mutex_);
  job.finished = true;
}

void Bzip2BlockPool::giveSpareOutput(Bzip2BlockJob& job) {
  if (spareOutputs_.empty()) return;
  job.output = std::move(spareOutputs_.back());
  spareOutputs_.pop_back();
}

bool Bzip2BlockPool::finished(const Bzip2BlockJob& job) {
  std::lock_guard lock(mutex_);
  return job.finished;
}

void Bzip2BlockPool::waitFor(const Bzip2BlockJob& job) {
  std::unique_lock lock(mutex_);
  jobDone_.wait(lock, [&] { return job.finished; });
}

void Bzip2BlockPool::cancel(Bzip2BlockJob& job) {
  std::lock_guard lock(mutex_);
  job.cancelled = true;
}

void Bzip2BlockPool::cancelQueued() {
  std::lock_guard lock(mutex_);
  for (const std::shared_ptr<Bzip2BlockJob>& job : queue_) job->cancelled = true;
  queue_.clear();
}

void Bzip2BlockPool::recycle(std::vector<std::uint8_t> output) {
  std::lock_guard lock(mutex_);
  if (spareOutputs_.size() < std::max<std::size_t>(workers_.size(), 1)) {
    spareOutputs_.push_back(std::move(output));
  }
}

void Bzip2BlockPool::workerLoop() {
  Bzip2BlockWorkspace workspace;
  for (;;) {
    std::shared_ptr<Bzip2BlockJob> job;
    bool cancelled = false;
    {
      std::unique_lock lock(mutex_);
      workToDo_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
      cancelled = job->cancelled;
      giveSpareOutput(*job);
    }
    // The reader reads nothing of the job but its input until it sees it finished.
    if (!cancelled) decodeBlockJob(*job, workspace);
    {
      std::lock_guard lock(mutex_);
      job->finished = true;
    }
    jobDone_.notify_all();
  }
}

}  // namespace tarvex::input
