#include "scan/parallel_scans.h"

#include <utility>

#include "base/memory_budgets.h"

namespace tarvex {

struct ParallelScans::ScanPart final : OrderedOutput::Part {
  explicit ScanPart(ScanJob scan) : job(std::move(scan)) {}
  ScanJob job;
};

ParallelScans::ParallelScans(OutputPort& target, unsigned workers)
    : target_(target),
      ordered_({.perPart = budgets::kRecordedPerFile,
                .inAll = budgets::kRecordedInAll,
                .parts = budgets::kQueuedFiles}) {
  if (workers == 0) workers = 1;
  for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { workerLoop(); });
  writer_ = std::thread([this] { ordered_.writeInOrder(target_); });
}

ParallelScans::~ParallelScans() {
  drain();
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  ordered_.close();
  writer_.join();
}

void ParallelScans::write(Channel channel, std::string_view bytes) {
  if (!messages_ && ordered_.idle()) {
    // Everything before has been written: nothing to keep in order with.
    target_.write(channel, bytes);
    return;
  }
  if (!messages_) {
    messages_ = std::make_shared<OrderedOutput::Part>();
    ordered_.open(messages_);
  }
  messages_->write(channel, bytes);
}

// Messages written from here on come after the scan about to be queued.
void ParallelScans::endMessages() {
  if (!messages_) return;
  messages_->finish();
  messages_.reset();
}

void ParallelScans::runScan(ScanJob job) {
  endMessages();
  auto part = std::make_shared<ScanPart>(std::move(job));
  ordered_.open(part);
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(part));
  }
  changed_.notify_all();
}

void ParallelScans::drain() {
  endMessages();
  ordered_.waitUntilWritten();
}

void ParallelScans::workerLoop() {
  for (;;) {
    std::shared_ptr<ScanPart> part;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (pending_.empty()) return;
      part = std::move(pending_.front());
      pending_.pop_front();
    }
    part->job(*part);
    part->job = nullptr;  // let go of what the scan captured
    part->finish();
  }
}

}  // namespace tarvex
