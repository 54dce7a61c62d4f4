// Output made on several threads, written in one order: the order in which its parts were
// opened.
//
// The one engine that keeps output in order, at both levels of a run: the batches of one file
// (decode_pipeline.h) and the files of a many-file run (parallel_scans.h). A part is opened, in
// order, by whoever decides the order (the reader of batches, the caller of `runScan`); a
// producer thread writes into it like into any output port; one writer thread writes the parts
// to the target strictly in order, streaming the head part while it is still being written. The
// target thus receives exactly the writes that one thread making them in order would make, one
// call per write.
//
// Writes are recorded (recorded_writes.h) and handed to the queue in pieces, so the shared lock
// is taken once per piece rather than once per line. A piece handed to a target that records
// writes itself (a part of an outer ordered output) is moved there, not copied.
//
// Memory stays bounded: a producer waits while its part holds `Limits::perPart` bytes that the
// writer has not taken, a part behind the head also while all parts together hold
// `Limits::inAll`, and `open` waits while `Limits::parts` parts are not written out. The writer
// always works on the head part, which therefore never waits for long, so the run always moves
// on.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "output/output_port.h"

namespace tarvex {

class OrderedOutput {
 public:
  struct Limits {
    std::size_t perPart;  // recorded bytes a part may hold before its producer waits
    std::size_t inAll;    // recorded bytes all parts behind the head may hold together
    std::size_t parts;    // parts opened and not yet written out
  };

  /// A place in the order. Users derive from it to carry what belongs to the part (the job or
  /// the batch it is made of); the writer hands it back, in order, once it is written.
  class Part : public OutputPort {
   public:
    Part() = default;
    Part(const Part&) = delete;
    Part& operator=(const Part&) = delete;

    void write(Channel channel, std::string_view bytes) override;
    void writeRecorded(RecordedWrites&& writes) override;

    /// Hands over what is recorded and marks the part complete: nothing more may be written.
    void finish();

   private:
    friend class OrderedOutput;
    void handOver(RecordedWrites&& piece);

    OrderedOutput* owner_ = nullptr;
    RecordedWrites local_;               // written and not yet handed over
    std::deque<RecordedWrites> pieces_;  // handed over, not yet taken by the writer
    std::size_t pending_ = 0;            // bytes in `pieces_`
    bool finished_ = false;
  };

  explicit OrderedOutput(Limits limits) : limits_(limits) {}
  OrderedOutput(const OrderedOutput&) = delete;
  OrderedOutput& operator=(const OrderedOutput&) = delete;

  /// Puts `part` at the end of the order, once fewer than `Limits::parts` are unwritten.
  void open(std::shared_ptr<Part> part);

  /// No part will be opened any more: `writeInOrder` returns once all are written.
  void close();

  /// True when every part opened so far is written out.
  bool idle();

  /// Waits until every part opened so far is written out.
  void waitUntilWritten();

  /// Writes the parts to `target` in order until `close` was called and all are written. After
  /// a part is written out, and before the next one is started, `written(part)` is called (when
  /// given) on this thread.
  void writeInOrder(OutputPort& target, const std::function<void(Part&)>& written = {});

 private:
  const Limits limits_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Part>> parts_;  // in output order; the front is being written
  std::size_t recorded_ = 0;                 // bytes handed over and not yet taken, all parts
  bool closed_ = false;
};

}  // namespace tarvex
