#include "cli/entry_point.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "base/thread_plan.h"
#include "cli/date_range.h"
#include "cli/options.h"
#include "cli/progress_line.h"
#include "cli/start_checks.h"
#include "cli/usage.h"
#include "discovery/list_file.h"
#include "input/named_pipe.h"
#include "output/process_output.h"
#include "scan/dump_file_scan.h"
#include "scan/parallel_scans.h"
#include "settings/search_settings.h"

namespace tarvex {

namespace {

// Runs one input mode. A mode that can scan several files scans them on every core; what it
// writes still comes out in the order of a one-file-at-a-time run, complete before this returns.
// Such a run shows its progress when standard error is a terminal.
void runInputMode(ProcessOutput& out, bool manyFiles, unsigned filesAtOnce,
                  const std::function<void(OutputPort&)>& mode) {
  std::optional<ProgressLine> progress;
  if (manyFiles && isatty(STDERR_FILENO) == 1) {
    progress.emplace(out);
    out.setOverlay(&*progress);
  }
  if (filesAtOnce < 2) {
    mode(out);
  } else {
    ParallelScans scans(out, filesAtOnce);
    mode(scans);
    scans.drain();
  }
  out.setOverlay(nullptr);
}

// --update with one file scans one file; a list or a date range may name any number.
bool scansManyFiles(const SearchSettings& settings) {
  if (settings.inputMode() == InputMode::kUpdateFiles) return settings.updateFiles.size() > 1;
  return true;
}

}  // namespace

int runTarvex(int argc, char** argv) {
  SearchSettings settings;

  switch (parseOptions(argc, argv, settings)) {
    case ParseOutcome::kRun:
      break;
    case ParseOutcome::kRejected:
    case ParseOutcome::kHelp:
      printUsage();
      return 1;
  }

  ProcessOutput out;
  // The dump list, when the check of the output file had to read it ahead.
  std::unique_ptr<input::LineFile> dumpList;
  const bool started = startRun(settings, out, [&] {
    // An output file that is one of the inputs ends the run, since opening it would empty that
    // input. The output file is created (or emptied) before anything else is opened, so it
    // exists after every run that gets this far; one that cannot be opened would lose every
    // report line.
    if (std::optional<std::string> refusal = outfileIsAnInput(settings, &dumpList)) {
      out.toStderr(*refusal);
      return false;
    }
    if (settings.outFile.empty()) return true;
    if (int error = out.openFile(settings.outFile); error != 0) {
      const std::string reason = error == ETIMEDOUT
                                     ? "no reader opened the named pipe within " +
                                           std::to_string(input::kPipeWaitMs / 1000) + " seconds"
                                     : std::strerror(error);
      out.toStderr(std::string(kCannotOpenOutputFile) + settings.outFile + ": " + reason + "\n");
      return false;
    }
    return true;
  });
  if (!started) return 1;

  // One file at a time gets every core; several share them.
  const bool manyFiles = scansManyFiles(settings);
  settings.threads = planThreads(std::thread::hardware_concurrency(), manyFiles);
  const unsigned filesAtOnce = settings.threads.filesAtOnce;

  // From here on the settings are only read.
  const SearchSettings& run = settings;
  switch (run.inputMode()) {
    case InputMode::kUpdateFiles:
      runInputMode(out, manyFiles, filesAtOnce, [&](OutputPort& sink) {
        for (const std::string& path : run.updateFiles) scanDumpFile(run, path, sink);
      });
      return 1;
    case InputMode::kListFile:
      runInputMode(out, manyFiles, filesAtOnce,
                   [&](OutputPort& sink) { scanListFile(run, sink, dumpList.get()); });
      return 1;
    case InputMode::kDateRange: {
      int status = 1;
      runInputMode(out, manyFiles, filesAtOnce,
                   [&](OutputPort& sink) { status = walkDateRange(run, sink); });
      return status;
    }
    case InputMode::kNone:
      break;
  }
  printUsage();
  return 1;
}

}  // namespace tarvex
