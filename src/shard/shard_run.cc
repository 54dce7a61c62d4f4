#include "shard/shard_run.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/start_checks.h"
#include "output/process_output.h"
#include "settings/search_settings.h"
#include "shard/day_check.h"
#include "shard/day_plan.h"
#include "shard/day_scripts.h"
#include "shard/day_setup.h"
#include "shard/engine_log.h"
#include "shard/engines.h"
#include "shard/file_text.h"
#include "shard/merge.h"
#include "shard/run_paths.h"
#include "shard/saved_lists.h"
#include "shard/shard_messages.h"
#include "shard/shard_options.h"
#include "shard/shard_usage.h"
#include "shard/spawn.h"
#include "shard/start_messages.h"
#include "shard/stop_signals.h"
#include "shard/tarvex_program.h"
#include "shard/work_directory.h"

namespace tarvex::shard {

namespace {

int fail(int status, const std::string& message) {
  say(message);
  return status;
}

// Hands the command line (less the shard options) to tarvex, whose answer is then the single
// run's own.
[[noreturn]] void handOverToTarvex(const ShardOptions& options) {
  const std::string& program = options.tarvexProgram;
  std::vector<std::string> words{program};
  words.insert(words.end(), options.tarvexArgs.begin(), options.tarvexArgs.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  // tarvex starts as it would from the shell, not with the signals this program ignores.
  ::signal(SIGPIPE, SIG_DFL);
  ::signal(SIGXFSZ, SIG_DFL);
  ::execv(program.c_str(), argv.data());
  say("cannot run " + program + ": " + std::strerror(errno));
  std::exit(126);
}

bool installed(const std::string& program) {
  return !findOnPath(program).empty();
}

void setUpProcess() {
  // The days' tarvex runs, the engines and their logs all speak the C locale, as before.
  ::setenv("LC_ALL", "C", 1);
  // As in tarvex's own output: a reader that has gone away and a file size limit are faults of
  // one write, which the merge reports, rather than signals that end the process unheard.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

// Reads the command line into `options` and finds the tarvex to run. Returns the status to end
// with when there is nothing more to do (the usage text asked for or due, a mistake, no tarvex).
std::optional<int> readCommandLine(int argc, char** argv, ShardOptions& options) {
  if (argc < 2) {
    writeAll(STDERR_FILENO, kShardUsageText);
    return kStatusUsage;
  }
  if (std::optional<std::string> missing =
          parseShardOptions(std::vector<std::string>(argv + 1, argv + argc), options)) {
    return fail(kStatusUsage, *missing);
  }
  if (options.help) {
    writeAll(STDOUT_FILENO, kShardUsageText);
    return 0;
  }
  if (std::optional<std::string> problem = findTarvex(options.tarvexProgram)) {
    return fail(kStatusUsage, *problem);
  }
  return std::nullopt;
}

// The days of the run; anything but a date range that tarvex would walk is handed over to
// tarvex, which answers it as a single run. POSIXLY_CORRECT makes tarvex stop reading options at
// the first operand.
DayPlan daysOrHandOver(const ShardOptions& options) {
  const SearchSettings& search = options.search;
  std::optional<DayPlan> plan;
  if (!options.tarvexRefuses && search.inputMode() == InputMode::kDateRange &&
      std::getenv("POSIXLY_CORRECT") == nullptr && !outfileIsAnInput(search)) {
    plan = planDays(search.startDate, search.endDate);
  }
  if (!plan) handOverToTarvex(options);
  return std::move(*plan);
}

// The checks before the days: the shard options among themselves, then what tarvex reports
// before it walks a day (an output file it cannot write, a list it cannot read), which is handed
// over for tarvex to name. A list to be saved is not read yet, so that tarvex still finds it
// whole. Returns the status to end with on a mistake.
std::optional<int> checkTheStart(const ShardOptions& options, const std::vector<SavedList>& lists) {
  if (std::optional<std::string> mistake = checkShardOptions(options, installed)) {
    return fail(kStatusUsage, *mistake);
  }
  const SearchSettings& search = options.search;
  if (!search.outFile.empty() && !outfileWritable(search.outFile)) handOverToTarvex(options);
  if (!learnStartMessages(withListsAt(search, lists, emptyListPath))) handOverToTarvex(options);
  for (const SavedList& list : lists) {
    if (options.detach && list.descriptor < 0) {
      return fail(kStatusUsage, "--detach cannot hand the merge job the " + list.option + " " +
                                    list.given +
                                    ", which is no regular file: save the list in one first");
    }
  }
  return std::nullopt;
}

int printDays(const DayPlan& plan) {
  std::string list;
  for (const std::string& day : plan.days) list += day + "\n";
  writeAll(STDOUT_FILENO, list);
  return 0;
}

// Reads the lists to be saved; one that nothing was read from yet is tarvex's to name.
std::optional<int> readSavedLists(const ShardOptions& options, std::vector<SavedList>& lists) {
  if (std::optional<ListReadFailure> failure = readLists(lists)) {
    if (failure->nothingRead) handOverToTarvex(options);
    return fail(kStatusUsage, failure->message + "; nothing was searched");
  }
  return std::nullopt;
}

// Submits the array and, behind it, the merge job: this program again, with the local engine on
// the same work directory, which finds the finished days in place, searches once more any day
// that failed, and merges. A saved list that the command line names through a descriptor is
// handed to it again from its copy, through the same descriptor.
int submitDetached(const ShardOptions& options, const EngineRun& run, const WorkDirectory& workdir,
                   const std::vector<SavedList>& lists) {
  std::vector<std::string> merge{resolvedPath("/proc/self/exe"), "--engine=local",
                                 "--tarvex=" + options.tarvexProgram,
                                 "--workdir=" + workdir.path()};
  if (options.keepWorkdir) merge.push_back("--keep-workdir");
  merge.insert(merge.end(), options.tarvexArgs.begin(), options.tarvexArgs.end());
  std::vector<std::pair<int, std::string>> inputs;
  for (const SavedList& list : lists) inputs.emplace_back(list.descriptor, list.copy);
  const std::string mergeScript = workdir.path() + "/slurm-merge";
  if (!writeScript(mergeScript, slurmMergeScript(merge, inputs))) {
    return fail(kStatusUsage, "cannot write " + mergeScript + ": " + std::strerror(errno));
  }
  std::string submitted;
  if (EngineFailure failure = submitDetachedSlurm(run, mergeScript, submitted)) {
    return fail(kStatusUsage, *failure);
  }
  say(submitted);
  return 0;
}

// Searches the days of `plan` that the work directory lacks with the engine, or submits them
// (detached). Returns the status to end with when the run ends here: submitted, an engine that
// could not start them, or a stop.
std::optional<int> searchMissingDays(const ShardOptions& options, const DayPlan& plan,
                                     const std::vector<SavedList>& lists, const DaySetup& setup,
                                     EngineLog& log) {
  const WorkDirectory& workdir = setup.workdir;
  const std::vector<std::string> missing = workdir.missingDays(plan.days);
  const EngineRun run{workdir.path(), missing,           workdir.path() + "/todo", setup.currentDir,
                      options.jobs,   options.sshLogins, options.sbatchOptions};
  std::string todo;
  for (const std::string& day : missing) todo += day + "\n";
  if (const int error = writeFileText(run.dayList, todo); error != 0) {
    return fail(kStatusUsage, "cannot write " + run.dayList + ": " + std::strerror(error));
  }
  catchStopSignals();
  if (!missing.empty()) {
    if (options.detach) return submitDetached(options, run, workdir, lists);
    if (EngineFailure failure = runEngine(*options.engine, run, log)) {
      return fail(kStatusUsage, *failure);
    }
  }
  if (stopSignal() != 0) {
    return fail(kStatusShardFailed,
                std::string("stopped by ") + stopSignalName(stopSignal()) +
                    "; no report was written; " +
                    keptDaysNote(workdir.path(), "searches only the days that are missing"));
  }
  return std::nullopt;
}

// The answer to a merge that ended before its last byte. A report that could not be written gets
// tarvex's own message and status (none for a reader that left, as tarvex says nothing then);
// the days stay, so that nothing searched is lost.
int mergeEndedEarly(const MergeStop& stop, const std::string& reportName,
                    const WorkDirectory& workdir) {
  switch (stop.cause) {
    case MergeStop::Cause::kReportNotWritten:
      if (stop.error != EPIPE) {
        writeAll(STDERR_FILENO, cannotWriteReportMessage(reportName, stop.error));
      }
      return kStatusReportNotWritten;
    case MergeStop::Cause::kResultNotRead:
      return fail(kStatusShardFailed,
                  "cannot read " + stop.path + ": " + std::strerror(stop.error) +
                      "; the report is cut short; " + keptDaysNote(workdir.path(), "merges them"));
    case MergeStop::Cause::kStopRequested:
      break;
  }
  return fail(kStatusShardFailed, std::string("stopped by ") + stopSignalName(stopSignal()) +
                                      " during the merge; the report is cut short; " +
                                      keptDaysNote(workdir.path(), "merges them"));
}

// Writes the merged result, the report in `outFile` or on standard output. Returns nothing when
// every byte was written, else the status to end with, having said why.
std::optional<int> writeMergedResult(const MergeInputs& inputs, const std::string& outFile,
                                     const WorkDirectory& workdir) {
  int reportFd = -1;
  std::string reportName(kStandardOutputName);
  if (!outFile.empty()) {
    reportName = outFile;
    reportFd = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (reportFd < 0) {
      return fail(kStatusShardFailed, "cannot open the output file " + outFile + ": " +
                                          std::strerror(errno) + "; " +
                                          keptDaysNote(workdir.path(), "merges them"));
    }
  }
  std::optional<MergeStop> stop = mergeDays(inputs, STDOUT_FILENO, STDERR_FILENO, reportFd);
  if (reportFd >= 0 && ::close(reportFd) != 0 && !stop) {
    stop = MergeStop{MergeStop::Cause::kReportNotWritten, errno, ""};
  }
  if (stop) return mergeEndedEarly(*stop, reportName, workdir);
  return std::nullopt;
}

// Checks every day and merges them into the single run's result; the work directory goes unless
// it is to be kept. Returns the status to end with: the single run's, or why there is no report.
int mergeTheDays(const ShardOptions& options, const DayPlan& plan,
                 const std::vector<SavedList>& lists, const DaySetup& setup, const EngineLog& log) {
  const SearchSettings& search = options.search;
  const WorkDirectory& workdir = setup.workdir;
  std::vector<std::string> dayLists;
  for (const std::string* list : {&setup.daySearch.cidrFile, &setup.daySearch.asnFile}) {
    if (!list->empty()) dayLists.push_back(*list);
  }
  const DayExpectations expected{setup.dayStartMessages, dayLists, search.verbose != 0,
                                 !search.outFile.empty()};
  if (!checkDays(workdir, plan.days, expected, log)) {
    return fail(kStatusShardFailed,
                "no report was written; " +
                    keptDaysNote(workdir.path(), "searches only the days that failed"));
  }

  MergeInputs inputs{
      {}, namedAsGiven(setup.dayStartMessages, lists), setup.dayStartMessages.size(), plan.trailer};
  for (const std::string& day : plan.days) inputs.dayResults.push_back(workdir.dayResult(day));
  // What could not be written keeps the days, so that nothing searched is lost.
  if (std::optional<int> failed = writeMergedResult(inputs, search.outFile, workdir)) {
    return *failed;
  }
  if (!options.keepWorkdir) workdir.remove();
  return plan.status;
}

}  // namespace

int runShard(int argc, char** argv) {
  setUpProcess();
  ShardOptions options;
  if (std::optional<int> ended = readCommandLine(argc, argv, options)) return *ended;
  const DayPlan plan = daysOrHandOver(options);
  std::vector<SavedList> lists = listsToSave(options.search);
  if (std::optional<int> ended = checkTheStart(options, lists)) return *ended;
  if (options.listDays) return printDays(plan);
  if (std::optional<int> ended = readSavedLists(options, lists)) return *ended;

  std::variant<DaySetup, std::string> prepared = setUpDays(options, lists);
  if (const std::string* problem = std::get_if<std::string>(&prepared)) {
    return fail(kStatusUsage, *problem);
  }
  const DaySetup& setup = std::get<DaySetup>(prepared);
  EngineLog log(setup.workdir.path() + "/engine.log");
  if (std::optional<int> ended = searchMissingDays(options, plan, lists, setup, log)) {
    return *ended;
  }
  return mergeTheDays(options, plan, lists, setup, log);
}

}  // namespace tarvex::shard
