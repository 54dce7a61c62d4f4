// Worker threads that decode candidate bzip2 blocks, one job each, for the parallel reader.
//
// A job holds a copy of the compressed bits of one candidate block; a worker decodes it with
// tarvex's block decoder (bzip2_block_decoder.h) or, where that refuses, re-wraps it as a stream
// of one block (bzip2_blocks.h) for libbz2, keeping at most `budgets::kBzip2BlockOutput` bytes of
// output. The pool knows nothing of the order of blocks: the reader submits jobs, waits for the
// one it needs next and cancels those it no longer needs (a cancelled job is finished without
// being decoded). Output buffers handed back with `recycle` are reused. Each worker keeps a
// workspace (up to 14 MB, and libbz2's 3.6 MB once it needs libbz2); the threads end with the
// pool. The submitting thread can decode a job itself (`decodeHere`), and a pool of no workers
// decodes every job so.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "input/bzip2/bzip2_block_decoder.h"
#include "input/bzip2/bzip2_blocks.h"

namespace tarvex::input {

/// One candidate block. The reader fills in the input before submitting it; once `finished`
/// is seen (under the pool's lock, `finished` and `waitFor` take it) the output is the reader's.
struct Bzip2BlockJob {
  std::uint64_t from = 0;  // bit where its block signature starts
  std::uint64_t to = 0;    // bit where the next signature starts
  int level = 9;
  std::vector<std::uint8_t> raw;  // the input bytes that hold bits [from, to)
  std::uint32_t crc = 0;          // the block CRC stored after the signature
  bool cancelled = false;         // nobody waits for it any more
  // Written by the worker; read once `finished` is set (both under the mutex).
  bool finished = false;
  Bzip2BlockResult result = Bzip2BlockResult::kFailed;
  std::vector<std::uint8_t> output;
  std::vector<std::uint8_t> stream;   // the one-block stream of an oversized block
  std::uint64_t oversizedOutput = 0;  // and the bytes it decodes to
};

/// What one thread needs to decode blocks: tarvex's decoder, made on first use, and for the
/// blocks it refuses libbz2's memory and a buffer for the re-wrapped stream.
/// Its decoder goes back to a process-wide shelf when it ends, for the next file's reader: a run
/// over thousands of small files would otherwise map and fault in a fresh 14 MB for each. The
/// shelf keeps only decoders that were in use at once, and at most `kShelvedDecoders`.
struct Bzip2BlockWorkspace {
  Bzip2BlockWorkspace() = default;
  ~Bzip2BlockWorkspace();
  Bzip2BlockWorkspace(const Bzip2BlockWorkspace&) = delete;
  Bzip2BlockWorkspace& operator=(const Bzip2BlockWorkspace&) = delete;

  static constexpr std::size_t kShelvedDecoders = 8;
  Bzip2BlockDecoder& blockDecoder();

  std::unique_ptr<Bzip2BlockDecoder> decoder;
  Bzip2Memory memory;
  std::vector<std::uint8_t> stream;
};

/// Decodes `job`'s block on the calling thread, in `workspace`, and keeps the outcome in the job
/// (not `finished`: that is the pool's to say).
void decodeBlockJob(Bzip2BlockJob& job, Bzip2BlockWorkspace& workspace);

class Bzip2BlockPool {
 public:
  /// Starts `workers` threads; with none, `submit` decodes each job with `decodeHere`.
  explicit Bzip2BlockPool(unsigned workers);
  ~Bzip2BlockPool();
  Bzip2BlockPool(const Bzip2BlockPool&) = delete;
  Bzip2BlockPool& operator=(const Bzip2BlockPool&) = delete;

  unsigned workers() const { return static_cast<unsigned>(workers_.size()); }

  /// Queues `job`; `first` puts it before every job queued, for the block the reader waits for.
  void submit(const std::shared_ptr<Bzip2BlockJob>& job, bool first);
  /// Decodes `job` on the calling thread and marks it finished. Only the one thread that
  /// submits jobs may call it: it shares one workspace, kept by the pool.
  void decodeHere(Bzip2BlockJob& job);
  bool finished(const Bzip2BlockJob& job);
  void waitFor(const Bzip2BlockJob& job);
  /// Nobody will wait for `job`: a worker that has not started it skips it.
  void cancel(Bzip2BlockJob& job);
  /// Cancels every job not yet started.
  void cancelQueued();
  /// Hands back the output buffer of a job whose bytes were used, for the next job to fill.
  void recycle(std::vector<std::uint8_t> output);

 private:
  void workerLoop();
  /// Hands `job` a recycled output buffer if there is one; the caller holds the mutex.
  void giveSpareOutput(Bzip2BlockJob& job);

  std::mutex mutex_;
  std::condition_variable workToDo_;
  std::condition_variable jobDone_;
  std::deque<std::shared_ptr<Bzip2BlockJob>> queue_;
  std::vector<std::vector<std::uint8_t>> spareOutputs_;
  bool stopping_ = false;
  Bzip2BlockWorkspace here_;  // for `decodeHere`, on the submitting thread
  std::vector<std::thread> workers_;
};

}  // namespace tarvex::input
