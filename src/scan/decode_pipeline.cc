#include "scan/decode_pipeline.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "base/memory_budgets.h"
#include "output/ordered_output.h"
#include "scan/update_search.h"

namespace tarvex {

namespace {

// Decodes batches and searches their messages, with the scratch space of one thread kept from
// batch to batch.
class BatchSearch {
 public:
  explicit BatchSearch(const SearchSettings& settings) : settings_(settings), memo_(settings) {}

  // Searches every UPDATE of `batch` into `out` and notes in `passedOver` what it passes over;
  // returns the number of malformed records.
  std::uint64_t search(const mrt::RecordBatch& batch, OutputPort& out,
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

// One batch on its way from the reader through a worker to the writer, with what the worker
// found besides its output; the writer hands that to the reader in input order.
struct BatchPart final : OrderedOutput::Part {
  mrt::RecordBatch batch;
  std::uint64_t malformed = 0;
  mrt::BatchPassedOver passedOver;
};

class DecodePipeline {
 public:
  DecodePipeline(mrt::MrtReader& reader, const SearchSettings& settings)
      : reader_(reader),
        settings_(settings),
        ordered_({.perPart = budgets::kPendingOutputPerBatch,
                  .inAll = budgets::kBatchesInFlight * budgets::kPendingOutputPerBatch,
                  .parts = budgets::kBatchesInFlight}) {}

  void run(OutputPort& out, unsigned workers) {
    // Most update dumps of a busy day are small. One that fits in a single batch is searched
    // right here: starting threads for it would cost more than the search, and a run over a
    // list of a million small files would spend its time creating threads.
    mrt::RecordBatcher& batcher = reader_.batcher();
    mrt::RecordBatch first, second;
    if (!batcher.next(first)) return;
    if (!batcher.next(second)) {
      searchAlone(first, out);
      return;
    }
    queue(std::move(first));
    queue(std::move(second));

    std::vector<std::thread> threads;
    threads.emplace_back([this] { readBatches(); });
    for (unsigned i = 0; i < workers; ++i) threads.emplace_back([this] { decodeBatches(); });
    std::uint64_t malformed = 0;
    ordered_.writeInOrder(out, [&](OrderedOutput::Part& written) {
      auto& part = static_cast<BatchPart&>(written);
      malformed += part.malformed;
      reader_.addPassedOver(part.passedOver);  // in input order, as the merge needs
    });
    for (std::thread& thread : threads) thread.join();
    reader_.countMalformed(malformed);
  }

 private:
  void searchAlone(const mrt::RecordBatch& batch, OutputPort& out) {
    mrt::BatchPassedOver passedOver;
    reader_.countMalformed(BatchSearch(settings_).search(batch, out, passedOver));
    reader_.addPassedOver(passedOver);
  }

  // Gives the batch its place in the output, then to the workers.
  void queue(mrt::RecordBatch&& batch) {
    auto part = std::make_shared<BatchPart>();
    part->batch = std::move(batch);
    ordered_.open(part);  // waits while kBatchesInFlight batches are unwritten
    {
      std::lock_guard lock(mutex_);
      unclaimed_.push_back(std::move(part));
    }
    changed_.notify_all();
  }

  void readBatches() {
    mrt::RecordBatcher& batcher = reader_.batcher();
    for (mrt::RecordBatch batch; batcher.next(batch); batch = mrt::RecordBatch()) {
      queue(std::move(batch));
    }
    {
      std::lock_guard lock(mutex_);
      inputDone_ = true;
    }
    changed_.notify_all();
    ordered_.close();
  }

  void decodeBatches() {
    BatchSearch search(settings_);
    for (;;) {
      std::shared_ptr<BatchPart> part;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !unclaimed_.empty() || inputDone_; });
        if (unclaimed_.empty()) return;
        part = std::move(unclaimed_.front());
        unclaimed_.pop_front();
      }
      // The part's output may be written before the part is finished; what the worker found
      // besides is read by the writer only after `finish`.
      part->malformed = search.search(part->batch, *part, part->passedOver);
      part->batch = mrt::RecordBatch();  // the buffer goes back to the reader
      part->finish();
    }
  }

  mrt::MrtReader& reader_;
  const SearchSettings& settings_;
  OrderedOutput ordered_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<BatchPart>> unclaimed_;  // batches no worker has started yet
  bool inputDone_ = false;
};

}  // namespace

void searchDump(mrt::MrtReader& reader, const SearchSettings& settings, OutputPort& out) {
  const bool compressed = reader.format() != input::InputFormat::kPlain;
  searchDump(reader, settings, out, settings.threads.decodeWorkers(compressed));
}

void searchDump(mrt::MrtReader& reader, const SearchSettings& settings, OutputPort& out,
                unsigned workers) {
  if (workers == 0) {
    mrt::BgpUpdate update;
    OriginMemo memo(settings);
    while (reader.next(update)) searchUpdate(update, settings, out, &memo);
    return;
  }
  DecodePipeline(reader, settings).run(out, workers);
}

}  // namespace tarvex
