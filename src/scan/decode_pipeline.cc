#include "scan/decode_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "scan/update_search.h"

namespace tarvex {

namespace {

constexpr std::size_t kMaxBatchesInFlight = 8;
// A worker hands its output over in pieces of about this size ...
constexpr std::size_t kPieceBytes = 64 * 1024;
// ... and waits while its batch holds this much that the writer has not taken yet.
constexpr std::size_t kMaxPendingBytes = 1024 * 1024;

// The writes of a walk, kept to be replayed in order, each as the one call it was.
class RecordedWrites final : public OutputPort {
 public:
  void write(Channel channel, std::string_view bytes) override {
    writes_.push_back({channel, bytes.size()});
    text_.append(bytes);
  }

  void replay(OutputPort& out) const {
    std::size_t at = 0;
    for (const Write& write : writes_) {
      out.write(write.channel, std::string_view(text_).substr(at, write.size));
      at += write.size;
    }
  }

  std::size_t bytes() const { return text_.size(); }
  bool empty() const { return writes_.empty(); }

 private:
  struct Write {
    Channel channel;
    std::size_t size;
  };
  std::string text_;
  std::vector<Write> writes_;
};

// Decodes batches and walks their messages, with the scratch space of one thread kept from batch
// to batch.
class BatchWalker {
 public:
  explicit BatchWalker(const SearchSettings& settings) : settings_(settings), memo_(settings) {}

  // Walks every UPDATE of `batch` into `out` and notes in `passedOver` what it passes over;
  // returns the number of malformed records.
  std::uint64_t walk(const mrt::RecordBatch& batch, OutputPort& out,
                     mrt::BatchPassedOver& passedOver) {
    return mrt::decodeBatch(batch, decoder_, update_, passedOver, [&](const mrt::BgpUpdate& entry) {
      searchUpdate(entry, settings_, out, &memo_);
    });
  }

 private:
  const SearchSettings& settings_;
  mrt::UpdateDecoder decoder_;
  mrt::BgpUpdate update_;
  OriginMemo memo_;
};

// One batch on its way from the reader through a worker to the writer.
struct Slot {
  mrt::RecordBatch batch;
  bool claimed = false;
  bool done = false;
  std::deque<RecordedWrites> pieces;  // handed over by the worker, not yet written
  std::size_t pendingBytes = 0;
  std::uint64_t malformed = 0;
  mrt::BatchPassedOver passedOver;  // written by the worker before `done`
};

class ParallelWalk {
 public:
  ParallelWalk(mrt::MrtReader& reader, const SearchSettings& settings)
      : reader_(reader), settings_(settings) {}

  void run(OutputPort& out, unsigned workers) {
    // Most update dumps of a busy day are small. One that fits in a single batch is walked
    // right here: starting threads for it would cost more than the walk, and a run over a list
    // of a million small files would spend its time creating threads.
    mrt::RecordBatcher& batcher = reader_.batcher();
    mrt::RecordBatch first, second;
    if (!batcher.next(first)) return;
    if (!batcher.next(second)) {
      walkAlone(first, out);
      return;
    }
    slots_.emplace_back().batch = std::move(first);
    slots_.emplace_back().batch = std::move(second);

    std::vector<std::thread> threads;
    threads.emplace_back([this] { readBatches(); });
    for (unsigned i = 0; i < workers; ++i) threads.emplace_back([this] { decodeBatches(); });
    writeInOrder(out);
    for (std::thread& thread : threads) thread.join();
    reader_.countMalformed(malformed_);
  }

 private:
  void walkAlone(const mrt::RecordBatch& batch, OutputPort& out) {
    mrt::BatchPassedOver passedOver;
    reader_.countMalformed(BatchWalker(settings_).walk(batch, out, passedOver));
    reader_.addPassedOver(passedOver);
  }

  void readBatches() {
    mrt::RecordBatcher& batcher = reader_.batcher();
    for (;;) {
      mrt::RecordBatch batch;
      const bool got = batcher.next(batch);
      std::unique_lock lock(mutex_);
      if (!got) {
        inputDone_ = true;
        changed_.notify_all();
        return;
      }
      changed_.wait(lock, [&] { return slots_.size() < kMaxBatchesInFlight; });
      slots_.emplace_back().batch = std::move(batch);
      changed_.notify_all();
    }
  }

  void decodeBatches() {
    BatchWalker walker(settings_);
    std::unique_lock lock(mutex_);
    for (;;) {
      Slot* slot = nullptr;
      changed_.wait(lock, [&] {
        auto open = std::find_if(slots_.begin(), slots_.end(),
                                 [](const Slot& candidate) { return !candidate.claimed; });
        if (open != slots_.end()) slot = &*open;
        return slot != nullptr || inputDone_;
      });
      if (slot == nullptr) return;
      slot->claimed = true;
      mrt::RecordBatch batch = std::move(slot->batch);
      lock.unlock();

      PieceSink writes(*this, *slot);
      // The slot is this worker's until it is marked done.
      const std::uint64_t malformed = walker.walk(batch, writes, slot->passedOver);
      batch = mrt::RecordBatch();  // the buffer goes back to the reader
      RecordedWrites last = writes.take();

      lock.lock();
      waitForRoom(lock, *slot);
      if (!last.empty()) pushPiece(*slot, std::move(last));
      slot->malformed = malformed;
      slot->done = true;
      changed_.notify_all();
    }
  }

  // A worker's sink for one batch: it keeps the writes and hands them over in pieces as they
  // grow, within a message too (one message can make megabytes of lines).
  class PieceSink final : public OutputPort {
   public:
    PieceSink(ParallelWalk& walk, Slot& slot) : walk_(walk), slot_(slot) {}

    void write(Channel channel, std::string_view bytes) override {
      piece_.write(channel, bytes);
      if (piece_.bytes() >= kPieceBytes) walk_.handOver(slot_, take());
    }

    RecordedWrites take() { return std::exchange(piece_, RecordedWrites()); }

   private:
    ParallelWalk& walk_;
    Slot& slot_;
    RecordedWrites piece_;
  };

  void handOver(Slot& slot, RecordedWrites&& piece) {
    std::unique_lock lock(mutex_);
    waitForRoom(lock, slot);
    pushPiece(slot, std::move(piece));
    changed_.notify_all();
  }

  void waitForRoom(std::unique_lock<std::mutex>& lock, Slot& slot) {
    changed_.wait(lock, [&] { return slot.pendingBytes < kMaxPendingBytes; });
  }

  static void pushPiece(Slot& slot, RecordedWrites&& writes) {
    slot.pendingBytes += writes.bytes();
    slot.pieces.push_back(std::move(writes));
  }

  void writeInOrder(OutputPort& out) {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] {
        if (slots_.empty()) return inputDone_;
        return !slots_.front().pieces.empty() || slots_.front().done;
      });
      if (slots_.empty()) return;
      Slot& head = slots_.front();
      if (!head.pieces.empty()) {
        std::deque<RecordedWrites> pieces = std::move(head.pieces);
        head.pieces.clear();
        head.pendingBytes = 0;
        changed_.notify_all();
        lock.unlock();
        for (const RecordedWrites& piece : pieces) piece.replay(out);
        lock.lock();
        continue;
      }
      malformed_ += head.malformed;
      reader_.addPassedOver(head.passedOver);  // in input order, as the merge needs
      slots_.pop_front();
      changed_.notify_all();
    }
  }

  mrt::MrtReader& reader_;
  const SearchSettings& settings_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Batches from the next one to write on. A deque: workers keep pointers to their slots while
  // slots are added at the back and removed at the front.
  std::deque<Slot> slots_;
  bool inputDone_ = false;
  std::uint64_t malformed_ = 0;  // of the batches written; only the writer touches it
};

}  // namespace

void examineDump(mrt::MrtReader& reader, const SearchSettings& settings, OutputPort& out) {
  const bool compressed = reader.format() != input::InputFormat::kPlain;
  examineDump(reader, settings, out, settings.threads.decodeWorkers(compressed));
}

void examineDump(mrt::MrtReader& reader, const SearchSettings& settings, OutputPort& out,
                 unsigned workers) {
  if (workers == 0) {
    mrt::BgpUpdate update;
    OriginMemo memo(settings);
    while (reader.next(update)) searchUpdate(update, settings, out, &memo);
    return;
  }
  ParallelWalk(reader, settings).run(out, workers);
}

}  // namespace tarvex
