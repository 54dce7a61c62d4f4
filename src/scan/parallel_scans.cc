#include "scan/parallel_scans.h"

#include <cstdint>
#include <cstring>

namespace tarvex {

namespace {

// A recording is a run of events, each a channel byte, a 4-byte length and the bytes.
void appendEvent(std::string& events, Channel channel, std::string_view bytes) {
  char header[5];
  header[0] = static_cast<char>(channel);
  std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
  std::memcpy(header + 1, &length, sizeof length);
  events.append(header, sizeof header);
  events.append(bytes);
}

void replay(std::string_view events, OutputPort& target) {
  while (events.size() >= 5) {
    std::uint32_t length;
    std::memcpy(&length, events.data() + 1, sizeof length);
    target.write(static_cast<Channel>(events[0]), events.substr(5, length));
    events.remove_prefix(5 + length);
  }
}

}  // namespace

struct ParallelScans::Segment {
  ScanJob job;            // empty for a segment of messages written between scans
  std::string events;     // recorded and not yet written
  bool finished = false;  // nothing more will be added (a message segment: once it is not last)
};

// The sink a worker's scan writes to. It gathers events locally and hands them to the segment
// in batches, so the shared lock is taken once per batch rather than once per line.
class ParallelScans::Recorder final : public OutputPort {
 public:
  Recorder(ParallelScans& owner, Segment& segment) : owner_(owner), segment_(segment) {}

  void write(Channel channel, std::string_view bytes) override {
    appendEvent(local_, channel, bytes);
    if (local_.size() >= kBatchBytes) flush();
  }

  void flush() {
    if (local_.empty()) return;
    owner_.append(segment_, local_);
    local_.clear();
  }

 private:
  static constexpr std::size_t kBatchBytes = 16 << 10;
  ParallelScans& owner_;
  Segment& segment_;
  std::string local_;
};

ParallelScans::ParallelScans(OutputPort& target, unsigned workers) : target_(target) {
  if (workers == 0) workers = 1;
  for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { workerLoop(); });
  writer_ = std::thread([this] { writerLoop(); });
}

ParallelScans::~ParallelScans() {
  drain();
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  writer_.join();
}

void ParallelScans::write(Channel channel, std::string_view bytes) {
  std::unique_lock lock(mutex_);
  if (segments_.empty()) {
    // Everything before has been written: nothing to keep in order with.
    lock.unlock();
    target_.write(channel, bytes);
    return;
  }
  if (segments_.back()->job || segments_.back()->finished) {
    auto segment = std::make_shared<Segment>();
    segments_.push_back(segment);
  }
  const std::size_t before = segments_.back()->events.size();
  appendEvent(segments_.back()->events, channel, bytes);
  recordedBytes_ += segments_.back()->events.size() - before;
  lock.unlock();
  changed_.notify_all();
}

void ParallelScans::runScan(ScanJob job) {
  auto segment = std::make_shared<Segment>();
  segment->job = std::move(job);
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return segments_.size() < kMaxQueuedSegments; });
    if (!segments_.empty() && !segments_.back()->job) segments_.back()->finished = true;
    segments_.push_back(segment);
    pending_.push_back(segment);
  }
  changed_.notify_all();
}

void ParallelScans::drain() {
  std::unique_lock lock(mutex_);
  if (!segments_.empty() && !segments_.back()->job) segments_.back()->finished = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return segments_.empty(); });
}

void ParallelScans::append(Segment& segment, std::string_view events) {
  std::unique_lock lock(mutex_);
  // Every scan waits once it holds enough that the writer has not taken; the scans behind the
  // head also once all of them together do. The writer always works on the head, which
  // therefore never waits for long, and every other running scan started after it, so the run
  // always moves on.
  changed_.wait(lock, [&] {
    if (segment.events.size() >= kMaxRecordedBytes) return false;
    return segments_.front().get() == &segment || recordedBytes_ < kMaxRecordedTotal;
  });
  segment.events.append(events);
  recordedBytes_ += events.size();
  lock.unlock();
  changed_.notify_all();
}

void ParallelScans::workerLoop() {
  for (;;) {
    std::shared_ptr<Segment> segment;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (pending_.empty()) return;
      segment = std::move(pending_.front());
      pending_.pop_front();
    }
    Recorder recorder(*this, *segment);
    segment->job(recorder);
    recorder.flush();
    {
      std::lock_guard lock(mutex_);
      segment->finished = true;
      segment->job = nullptr;  // let go of what the scan captured
    }
    changed_.notify_all();
  }
}

void ParallelScans::writerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] {
      return stopping_ || (!segments_.empty() &&
                           (!segments_.front()->events.empty() || segments_.front()->finished));
    });
    if (segments_.empty()) {
      if (stopping_) return;
      continue;
    }
    std::shared_ptr<Segment> head = segments_.front();
    if (!head->events.empty()) {
      std::string events = std::move(head->events);
      head->events.clear();
      recordedBytes_ -= events.size();
      lock.unlock();
      changed_.notify_all();  // the head's scan may be waiting for room
      replay(events, target_);
      lock.lock();
      continue;
    }
    // Finished and fully written: the next segment becomes the head.
    segments_.pop_front();
    changed_.notify_all();
  }
}

}  // namespace tarvex
