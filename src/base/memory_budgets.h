// Every memory budget of a run, in one table, each with the reason for its size.
//
// A scan holds only what these allow, whatever the input: a dump of any size, a record of any
// length, a message that makes megabytes of report lines. The modules that keep buffers read
// their sizes from here, so the plan in the README (what one file costs, what a many-file run
// costs) can be checked against one page.
#pragma once

#include <cstddef>

namespace tarvex::budgets {

inline constexpr std::size_t kKiB = 1024;
inline constexpr std::size_t kMiB = 1024 * kKiB;

// --- Reading a file ---------------------------------------------------------------------------

/// Compressed bytes read ahead by the gzip and sequential bzip2 readers: large enough that a
/// read(2) costs little against the decompression of what it brought, small beside the rest.
inline constexpr std::size_t kCompressedReadAhead = 256 * kKiB;

/// The parallel bzip2 reader's read size, for the same reason.
inline constexpr std::size_t kBzip2ParallelReadSize = 256 * kKiB;
/// The most output of one bzip2 block that is kept while the block is checked, by a block job of
/// the parallel reader or by the sequential reader, which hands out no byte of a block before
/// its CRC holds: a 900 kB block of MRT data gives about 1 MB, so 2 MiB holds any real block; a
/// larger one is only checked, then decoded again streaming.
inline constexpr std::size_t kBzip2BlockOutput = 2 * kMiB;
/// bzip2 block jobs in flight beyond one per worker: two keep every worker fed while the
/// reader waits for the block at the head.
inline constexpr std::size_t kBzip2SpareJobs = 2;
/// Compressed bytes the parallel bzip2 reader keeps before the first block it still needs, at
/// most: dropping them in steps this large keeps the cost of moving the rest down negligible.
inline constexpr std::size_t kBzip2DropStep = 1 * kMiB;

/// Bytes read at once into a list file (criteria lists, dump lists): lists are small.
inline constexpr std::size_t kLineFileRead = 64 * kKiB;

// --- Framing records ---------------------------------------------------------------------------

/// One buffer of the record batcher, and so one batch: about a thousand update records, enough
/// for a decode worker to make a lock per batch negligible.
inline constexpr std::size_t kBatchBuffer = 1 * kMiB;
/// All batcher buffers alive at once (being filled, waiting, being decoded): the pipeline keeps
/// at most `kBatchesInFlight` batches, plus the one being read, plus room for a record that
/// spans buffers.
inline constexpr std::size_t kBatcherMemory = 12 * kMiB;
/// The smallest read the batcher makes, so a trickling source is not read a byte at a time.
inline constexpr std::size_t kBatcherMinimumRead = 64 * kKiB;
/// How far the batcher reads on after an impossible record length to let a decompressor report
/// the damage that caused it: damaged compressed data shows up within a block or two.
inline constexpr std::size_t kDamageLookAhead = 4 * kMiB;
/// The scratch buffer that look-ahead reads into (the batches handed out may still be in use):
/// a read of this size costs little beside the decompression it asks for.
inline constexpr std::size_t kDamageLookAheadScratch = 256 * kKiB;

// --- Decoding one file on several threads -------------------------------------------------------

/// Batches between the reader and the writer of one file: enough to keep four decode workers
/// busy while the head batch is written.
inline constexpr std::size_t kBatchesInFlight = 8;
/// A decode worker hands its report lines to the writer in pieces of this size, so the lines of
/// one huge message stream out instead of waiting for the whole batch ...
inline constexpr std::size_t kOutputPiece = 64 * kKiB;
/// ... and waits while its batch holds this much output the writer has not taken.
inline constexpr std::size_t kPendingOutputPerBatch = 1 * kMiB;

// --- Scanning several files at once -------------------------------------------------------------

/// Output a file that is not at the head of the run may record before it waits its turn.
inline constexpr std::size_t kRecordedPerFile = 1 * kMiB;
/// Output all waiting files together may record.
inline constexpr std::size_t kRecordedInAll = 8 * kMiB;
/// Files handed to the run and not yet written out: the list or archive walk waits beyond this,
/// so a list of a million paths is never all queued.
inline constexpr std::size_t kQueuedFiles = 64;

}  // namespace tarvex::budgets
