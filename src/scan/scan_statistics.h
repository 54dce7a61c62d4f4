// Counters of a run's progress, kept for the progress line: files handed to the scan, files
// finished and their size. Updated from every scanning thread; read by the progress line.
#pragma once

#include <atomic>
#include <cstdint>

namespace tarvex {

struct ScanStatistics {
  std::atomic<std::uint64_t> filesFound{0};  // handed to the dump file scan so far
  std::atomic<std::uint64_t> filesDone{0};   // scanned to their end (or found unopenable)
  std::atomic<std::uint64_t> bytesDone{0};   // on-disk size of the files scanned to their end
};

/// The counters of this process.
ScanStatistics& scanStatistics();

}  // namespace tarvex
