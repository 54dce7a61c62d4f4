// Scans several dump files at once on worker threads while the output stays exactly what a
// one-file-at-a-time run writes: the same bytes on every channel, in the same order.
//
// Every scan handed over with `runScan`, and every run of messages written between scans, is a
// part of one ordered output (ordered_output.h): workers run the scans, each into its own part;
// one writer thread writes the parts to the target in order, streaming the part at the head
// while its scan is still running. The budgets of memory_budgets.h bound what waits: per file,
// in all, and the number of files queued.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "output/ordered_output.h"
#include "output/output_port.h"

namespace tarvex {

class ParallelScans final : public OutputPort {
 public:
  /// Writes everything to `target`, which must outlive this object, with `workers` scans at once.
  ParallelScans(OutputPort& target, unsigned workers);
  /// Drains, then stops the threads.
  ~ParallelScans() override;
  ParallelScans(const ParallelScans&) = delete;
  ParallelScans& operator=(const ParallelScans&) = delete;

  void write(Channel channel, std::string_view bytes) override;
  void runScan(ScanJob job) override;
  void drain() override;

 private:
  struct ScanPart;

  void workerLoop();
  void endMessages();

  OutputPort& target_;
  OrderedOutput ordered_;
  std::shared_ptr<OrderedOutput::Part> messages_;  // the open run of messages, if any
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<ScanPart>> pending_;  // scans no worker has started yet
  bool stopping_ = false;
  std::vector<std::thread> workers_;
  std::thread writer_;
};

}  // namespace tarvex
