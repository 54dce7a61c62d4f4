// Scans several dump files at once on worker threads while the output stays exactly what a
// one-file-at-a-time run writes: the same bytes on every channel, in the same order.
//
// Every scan handed over with `runScan` and every message written between scans becomes a
// segment of one ordered queue. Workers run the scans, recording what each writes; one writer
// thread writes the segments to the target sink strictly in queue order, streaming the segment
// at the head while its scan is still running. Memory stays bounded: a scan that is not at the
// head waits once it has recorded `kMaxRecordedBytes`, or once all segments together hold
// `kMaxRecordedTotal`, and the caller of `runScan` waits while `kMaxQueuedSegments` segments are
// outstanding.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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

  static constexpr std::size_t kMaxRecordedBytes = 1 << 20;
  static constexpr std::size_t kMaxRecordedTotal = 8 << 20;
  static constexpr std::size_t kMaxQueuedSegments = 64;

 private:
  struct Segment;
  class Recorder;

  void workerLoop();
  void writerLoop();
  void append(Segment& segment, std::string_view events);

  OutputPort& target_;
  std::mutex mutex_;
  std::condition_variable changed_;                // any change of the queue or of a segment
  std::deque<std::shared_ptr<Segment>> segments_;  // in output order; the front is being written
  std::deque<std::shared_ptr<Segment>> pending_;   // scans no worker has started yet
  std::size_t recordedBytes_ = 0;                  // in the events of all segments
  bool stopping_ = false;
  std::vector<std::thread> workers_;
  std::thread writer_;
};

}  // namespace tarvex
