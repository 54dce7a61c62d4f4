// Decompresses bzip2 data on several threads, one block per job.
//
// The source reads the compressed input ahead, finds the candidate block boundaries (see
// bzip2_blocks.h) and has worker threads decode the candidate blocks, each re-wrapped as a
// stream of its own; the bytes come out in input order. A block is accepted only when it decodes
// cleanly, which also proves that the boundary behind it is real; the combined CRC at the end of
// each stream is checked against the blocks that were accepted. Concatenated streams and empty
// streams are read like the sequential reader reads them.
//
// When a candidate fails (a false signature inside a block cuts it short), it is merged with the
// next candidates until it decodes or grows past the largest possible block. Whatever the
// parallel path cannot handle (damage, a file cut short, bytes after the last stream, an odd
// stream header) is handed, from the first bit not yet decoded, to the sequential reader
// (`Bzip2Source`), so that failures read exactly as they do there, with the decompressed bytes
// counted from the start of the file. Neither path hands out a byte of a block before the
// block's CRC has held: the failure of a damaged file counts the bytes of the blocks before the
// damaged one, where it begins.
//
// The work is split three ways: the scanner (bzip2_block_scanner.h) reads the input and finds
// the candidate boundaries, the pool (bzip2_block_pool.h) decodes candidate blocks on worker
// threads, and this source plans the jobs and walks the confirmed blocks in order.
//
// Memory is bounded: the compressed bytes from the first block not yet decoded to the read-ahead
// point (a few blocks), and per job in flight (workers + `budgets::kBzip2SpareJobs`) its
// compressed bytes and at most `budgets::kBzip2BlockOutput` of output (the blocks of MRT dumps give
// about 1 MB). A block whose output is larger is only verified by its worker and then decoded
// again, streaming, when its turn comes (bzip2_block_replay.h). Each worker, and the reading
// thread once it decodes a block itself, keeps a block decoder's workspace (bzip2_block_pool.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "input/byte_source.h"
#include "input/bzip2/bzip2_block_pool.h"
#include "input/bzip2/bzip2_block_scanner.h"
#include "input/bzip2/bzip2_blocks.h"

namespace tarvex::input {

class ParallelBzip2Source final : public ByteSource {
 public:
  /// `peeked` are the first bytes of `compressed` ("BZh", the level and more), already read to
  /// detect the format. `workers` threads decode blocks ahead; with none, each block is decoded
  /// on the reading thread when its turn comes.
  ParallelBzip2Source(std::unique_ptr<ByteSource> compressed, std::span<const std::uint8_t> peeked,
                      unsigned workers);
  ~ParallelBzip2Source() override;
  ParallelBzip2Source(const ParallelBzip2Source&) = delete;
  ParallelBzip2Source& operator=(const ParallelBzip2Source&) = delete;

  std::size_t read(std::span<std::uint8_t> into) override;

 private:
  using Job = Bzip2BlockJob;
  enum class Phase { kStreamStart, kInStream, kSequential, kDone };

  // Speculative jobs ahead of the walk.
  std::shared_ptr<Job> makeJob(std::uint64_t from, std::uint64_t to, int level);
  void planJobs();
  bool nextJobReady();

  // The confirmed walk through the streams.
  void advance();
  bool decodeHeadBlock();
  void accept(std::shared_ptr<Job> job);
  void handOverToSequential(std::uint64_t bit, bool inStream);
  void stopWith(std::string reason);

  Bzip2BlockScanner scanner_;

  std::deque<std::shared_ptr<Job>> jobs_;  // speculative jobs, by start bit
  std::uint64_t plannedFrom_ = 0;          // marks from this bit on have no job yet
  int planLevel_ = 9;                      // level of the stream that planned jobs are in
  std::size_t depth_;                      // jobs kept in flight

  Phase phase_ = Phase::kStreamStart;
  std::uint64_t position_ = 0;  // bit of the next block or end marker, or of the next stream
  int level_ = 9;
  std::uint32_t combinedCrc_ = 0;
  std::uint64_t produced_ = 0;
  std::shared_ptr<Job> head_;  // the block whose bytes are being handed out
  std::size_t headUsed_ = 0;
  std::unique_ptr<ByteSource> streaming_;  // an oversized head block, or the sequential reader

  // Last, so that its workers stop before anything they might touch goes.
  Bzip2BlockPool pool_;
};

}  // namespace tarvex::input
