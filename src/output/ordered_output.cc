#include "output/ordered_output.h"

#include <utility>

#include "base/memory_budgets.h"

namespace tarvex {

void OrderedOutput::Part::write(Channel channel, std::string_view bytes) {
  local_.add(channel, bytes);
  if (local_.size() >= budgets::kOutputPiece) handOver(std::exchange(local_, RecordedWrites()));
}

void OrderedOutput::Part::writeRecorded(RecordedWrites&& writes) {
  if (!local_.empty()) handOver(std::exchange(local_, RecordedWrites()));
  if (!writes.empty()) handOver(std::move(writes));
}

void OrderedOutput::Part::finish() {
  if (!local_.empty()) handOver(std::exchange(local_, RecordedWrites()));
  {
    std::lock_guard lock(owner_->mutex_);
    finished_ = true;
  }
  owner_->changed_.notify_all();
}

void OrderedOutput::Part::handOver(RecordedWrites&& piece) {
  OrderedOutput& owner = *owner_;
  std::unique_lock lock(owner.mutex_);
  owner.changed_.wait(lock, [&] {
    if (pending_ >= owner.limits_.perPart) return false;
    return owner.parts_.front().get() == this || owner.recorded_ < owner.limits_.inAll;
  });
  pending_ += piece.size();
  owner.recorded_ += piece.size();
  pieces_.push_back(std::move(piece));
  lock.unlock();
  owner.changed_.notify_all();
}

void OrderedOutput::open(std::shared_ptr<Part> part) {
  part->owner_ = this;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return parts_.size() < limits_.parts; });
    parts_.push_back(std::move(part));
  }
  changed_.notify_all();
}

void OrderedOutput::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool OrderedOutput::idle() {
  std::lock_guard lock(mutex_);
  return parts_.empty();
}

void OrderedOutput::waitUntilWritten() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return parts_.empty(); });
}

void OrderedOutput::writeInOrder(OutputPort& target, const std::function<void(Part&)>& written) {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] {
      if (parts_.empty()) return closed_;
      return !parts_.front()->pieces_.empty() || parts_.front()->finished_;
    });
    if (parts_.empty()) return;
    std::shared_ptr<Part> head = parts_.front();
    if (!head->pieces_.empty()) {
      std::deque<RecordedWrites> pieces = std::move(head->pieces_);
      head->pieces_.clear();
      recorded_ -= head->pending_;
      head->pending_ = 0;
      lock.unlock();
      changed_.notify_all();  // the head's producer may be waiting for room
      for (RecordedWrites& piece : pieces) target.writeRecorded(std::move(piece));
      lock.lock();
      continue;
    }
    // Finished and written out: the next part becomes the head.
    lock.unlock();
    if (written) written(*head);
    lock.lock();
    parts_.pop_front();
    changed_.notify_all();
  }
}

}  // namespace tarvex
