// How many threads a run starts, worked out once from the core count.
//
// Three layers can run in parallel: files (a many-file run scans several at once), the decode
// workers of one file, and the bzip2 block workers of one file. Each layer used to pick its own
// count from the core count, so they multiplied. The plan shares the cores among the files
// scanned at once, so that the threads of a run stay within a stated bound (see `maxThreads`)
// for any core count, and so does memory (one file's budget, memory_budgets.h, times
// `filesAtOnce`).
#pragma once

namespace tarvex {

struct ThreadPlan {
  /// Files scanned at once; 1 scans them one after another on the calling thread.
  unsigned filesAtOnce = 1;
  /// Decode workers per file for an uncompressed dump; 0 decodes on the scanning thread.
  unsigned decodeWorkersPlain = 0;
  /// Decode workers per file for a compressed dump, whose decompression takes a core.
  unsigned decodeWorkersCompressed = 0;
  /// bzip2 block workers per file; below 2 the blocks are decoded on the file's reading thread.
  unsigned bzip2Workers = 0;

  unsigned decodeWorkers(bool compressed) const {
    return compressed ? decodeWorkersCompressed : decodeWorkersPlain;
  }

  /// The most threads a run under the plan has at once: the main thread and the progress line;
  /// with files at once, one scanning thread per file and the writer that keeps their order;
  /// per file scanned, its reader, its decode workers and its bzip2 workers.
  unsigned maxThreads() const {
    const unsigned decode =
        decodeWorkersPlain > decodeWorkersCompressed ? decodeWorkersPlain : decodeWorkersCompressed;
    const unsigned perFile = 1 + decode + (bzip2Workers >= 2 ? bzip2Workers : 0);
    const unsigned fileThreads = filesAtOnce > 1 ? filesAtOnce + 1 : 0;
    return 2 + fileThreads + filesAtOnce * perFile;
  }
};

/// The plan for a machine of `cores` cores (0 counts as 1). A run of one file gives it every
/// core: one decode worker per core (at most 4) for an uncompressed dump, one fewer for a
/// compressed one, whose decompression keeps a core busy, and one bzip2 worker per core (at most
/// 8). A run of `manyFiles` scans up to four files at once and shares the cores among them the
/// same way, so a run has at most 2 × cores + 11 threads whatever the core count.
ThreadPlan planThreads(unsigned cores, bool manyFiles);

}  // namespace tarvex
