#include "input/bzip2_block_pool.h"

#include <algorithm>

#include "base/memory_budgets.h"

namespace tarvex::input {

void decodeBlockJob(Bzip2BlockJob& job, Bzip2Memory& memory, std::vector<std::uint8_t>& stream) {
  const Bzip2BitRange piece{job.raw, job.from % 8, job.to - job.from};
  wrapBzip2Block({&piece, 1}, job.level, stream);
  job.result = decodeBzip2Block(stream, budgets::kBzip2JobOutput, memory, job.output);
  if (job.result == Bzip2BlockResult::kOversized) job.stream = stream;
}

Bzip2BlockPool::Bzip2BlockPool(unsigned workers) {
  for (unsigned i = 0; i < std::max(workers, 1u); ++i) {
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
  if (spareOutputs_.size() < workers_.size()) spareOutputs_.push_back(std::move(output));
}

void Bzip2BlockPool::workerLoop() {
  Bzip2Memory memory;
  std::vector<std::uint8_t> stream;
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
      if (!spareOutputs_.empty()) {
        job->output = std::move(spareOutputs_.back());
        spareOutputs_.pop_back();
      }
    }
    // The reader reads nothing of the job but its input until it sees it finished.
    if (!cancelled) decodeBlockJob(*job, memory, stream);
    {
      std::lock_guard lock(mutex_);
      job->finished = true;
    }
    jobDone_.notify_all();
  }
}

}  // namespace tarvex::input
