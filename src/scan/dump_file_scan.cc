#include "scan/dump_file_scan.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "mrt/mrt_reader.h"
#include "scan/decode_pipeline.h"
#include "scan/scan_statistics.h"

namespace tarvex {

namespace {

// An input that cannot be opened is explained by stat(2) when stat itself fails; the message
// names no file, and the "Can not open" line that always follows does.
void reportOpenFailure(const std::string& path, OutputPort& out) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) {
    out.toStdout(std::string(kErrorStattingFile) + std::strerror(errno) + "\n");
  }
  out.toStderr("Can not open " + path + "\n");
}

// At most four lines per file, in this order: what stopped it early, how many records were
// skipped, which stretches hold only zeros, and how many records that can hold routes were not
// searched. The last two keep an empty report from passing for "nothing matched".
void reportProblems(const std::string& path, const mrt::MrtReader& reader, OutputPort& out) {
  const std::string prefix = "tarvex: " + path + ": ";
  if (!reader.damage().empty()) {
    out.toStderr(prefix + std::string(reader.damage()) + "\n");
  }
  if (std::uint64_t skipped = reader.malformedRecords(); skipped != 0) {
    out.toStderr(prefix + "skipped " + std::to_string(skipped) + " malformed " +
                 (skipped == 1 ? "record" : "records") + "\n");
  }
  for (const std::string& warning : reader.passedOverWarnings()) {
    out.toStderr(prefix + warning + "\n");
  }
}

void scanOneFile(const SearchSettings& settings, const std::string& path, OutputPort& out) {
  if (settings.verbose) out.toStderr(path + "\n");

  int error = 0;
  std::unique_ptr<mrt::MrtReader> reader =
      mrt::MrtReader::open(path, settings.threads.bzip2Workers, &error);
  if (!reader) {
    reportOpenFailure(path, out);
    return;
  }
  searchDump(*reader, settings, out);
  reportProblems(path, *reader, out);
}

// Counts a finished file for the progress line, with its size on disk (nothing for a stream).
void countFinishedFile(const std::string& path) {
  ScanStatistics& statistics = scanStatistics();
  struct stat status;
  if (path != "-" && ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
    statistics.bytesDone.fetch_add(static_cast<std::uint64_t>(status.st_size),
                                   std::memory_order_relaxed);
  }
  statistics.filesDone.fetch_add(1, std::memory_order_relaxed);
}

// Standard input can be read once. Dumps are handed here in the run's order, so the first "-"
// of the run is the one that reads it, whichever thread its scan then runs on.
bool claimStandardInput() {
  static std::atomic<bool> claimed{false};
  return !claimed.exchange(true);
}

}  // namespace

void scanDumpFile(const SearchSettings& settings, const std::string& path, OutputPort& out) {
  if (path == "-" && !claimStandardInput()) {
    out.toStderr(
        "tarvex: -: standard input is read once, and was searched before; not searched again\n");
    return;
  }
  scanStatistics().filesFound.fetch_add(1, std::memory_order_relaxed);
  out.runScan([&settings, path](OutputPort& sink) {
    scanOneFile(settings, path, sink);
    countFinishedFile(path);
  });
}

}  // namespace tarvex
