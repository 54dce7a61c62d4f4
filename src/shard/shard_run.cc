#include "shard/shard_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/start_checks.h"
#include "output/process_output.h"
#include "shard/day_check.h"
#include "shard/day_plan.h"
#include "shard/day_scripts.h"
#include "shard/engine_log.h"
#include "shard/engines.h"
#include "shard/file_text.h"
#include "shard/host_checks.h"
#include "shard/merge.h"
#include "shard/posix_cksum.h"
#include "shard/saved_lists.h"
#include "shard/shard_options.h"
#include "shard/shard_usage.h"
#include "shard/spawn.h"
#include "shard/start_messages.h"
#include "shard/stop_signals.h"
#include "shard/tarvex_program.h"
#include "shard/work_directory.h"

namespace tarvex::shard {

namespace fs = std::filesystem;

namespace {

void say(const std::string& message) {
  writeAll(STDERR_FILENO, "tarvex-shard: " + message + "\n");
}

int fail(int status, const std::string& message) {
  say(message);
  return status;
}

// Hands the command line (less the shard options) to tarvex, whose answer is then the single
// run's own.
[[noreturn]] void handOverToTarvex(const std::string& program,
                                   const std::vector<std::string>& args) {
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
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

// Whether the output file can be written, without creating or emptying it before the merge (so
// a run that fails or is stopped leaves no report that looks complete).
bool outfileWritable(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) == 0) {
    return (S_ISREG(status.st_mode) || S_ISCHR(status.st_mode)) &&
           ::access(path.c_str(), W_OK) == 0;
  }
  // The directory part of the name, as dirname(1) gives it.
  std::string_view name = path;
  while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
  const std::size_t slash = name.rfind('/');
  std::string_view dir =
      slash == std::string_view::npos ? std::string_view(".") : name.substr(0, slash);
  while (dir.size() > 1 && dir.back() == '/') dir.remove_suffix(1);
  const std::string parent(dir.empty() ? std::string_view("/") : dir);
  return ::stat(parent.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         ::access(parent.c_str(), W_OK) == 0;
}

// The current directory as the shell that started this program names it ($PWD), when that
// still names it; else the physical path.
std::string currentDirectory() {
  std::error_code error;
  const std::string physical = fs::current_path(error).string();
  const char* logical = std::getenv("PWD");
  struct stat here, named;
  if (logical && logical[0] == '/' && ::stat(".", &here) == 0 && ::stat(logical, &named) == 0 &&
      here.st_dev == named.st_dev && here.st_ino == named.st_ino) {
    return logical;
  }
  return physical;
}

bool installed(const std::string& program) {
  return !findOnPath(program).empty();
}

// The cksum line of the criteria list `path` given with `option`: of what was read from it when
// it is saved, else of the file.
std::string listCksum(const std::string& option, const std::string& path,
                      const std::vector<SavedList>& lists) {
  if (path.empty()) return "";
  for (const SavedList& list : lists) {
    if (list.option == option) {
      return std::to_string(posixCksum(list.text)) + " " + std::to_string(list.text.size());
    }
  }
  return cksumLineOfFile(path).value_or("");
}

std::string keptDays(const WorkDirectory& workdir, const std::string& rerun) {
  return "the finished days are kept in " + workdir.path() + ", and running the same command " +
         "again " + rerun;
}

// Every day complete and sound, or a message for each day that is not (such days are set aside
// so that a re-run searches them again).
bool checkDays(const WorkDirectory& workdir, const std::vector<std::string>& days,
               const DayExpectations& expected, const EngineLog& log) {
  bool sound = true;
  for (const std::string& day : days) {
    if (!fs::is_directory(workdir.dayResult(day))) {
      say("day " + day + " failed: " + workdir.missingDayReason(day, log.lastLineAbout(day)));
      sound = false;
      continue;
    }
    if (std::optional<std::string> fault = dayFault(workdir.dayResult(day), expected)) {
      say("day " + day + " failed: " + *fault);
      workdir.setAside(day);
      sound = false;
    }
  }
  return sound;
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
                      "; the report is cut short; " + keptDays(workdir, "merges them"));
    case MergeStop::Cause::kStopRequested:
      break;
  }
  return fail(kStatusShardFailed, std::string("stopped by ") + stopSignalName(stopSignal()) +
                                      " during the merge; the report is cut short; " +
                                      keptDays(workdir, "merges them"));
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
                                          keptDays(workdir, "merges them"));
    }
  }
  std::optional<MergeStop> stop = mergeDays(inputs, STDOUT_FILENO, STDERR_FILENO, reportFd);
  if (reportFd >= 0 && ::close(reportFd) != 0 && !stop) {
    stop = MergeStop{MergeStop::Cause::kReportNotWritten, errno, ""};
  }
  if (stop) return mergeEndedEarly(*stop, reportName, workdir);
  return std::nullopt;
}

}  // namespace

int runShard(int argc, char** argv) {
  // The days' tarvex runs, the engines and their logs all speak the C locale, as before.
  ::setenv("LC_ALL", "C", 1);
  // As in tarvex's own output: a reader that has gone away and a file size limit are faults of
  // one write, which the merge reports, rather than signals that end the process unheard.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);

  if (argc < 2) {
    writeAll(STDERR_FILENO, kShardUsageText);
    return kStatusUsage;
  }
  ShardOptions options;
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

  // Anything but a date range that tarvex would walk is tarvex's to answer, and so are the
  // failures it reports before it walks a day. POSIXLY_CORRECT makes tarvex stop reading
  // options at the first operand.
  const SearchSettings& search = options.search;
  std::optional<DayPlan> plan;
  if (!options.tarvexRefuses && search.updateFiles.empty() && search.listFile.empty() &&
      !search.startDate.empty() && !search.endDate.empty() && !search.dirs.empty() &&
      std::getenv("POSIXLY_CORRECT") == nullptr && !outfileIsAnInput(search)) {
    plan = planDays(search.startDate, search.endDate);
  }
  if (!plan) handOverToTarvex(options.tarvexProgram, options.tarvexArgs);
  if (std::optional<std::string> mistake = checkShardOptions(options, installed)) {
    return fail(kStatusUsage, *mistake);
  }
  if (!search.outFile.empty() && !outfileWritable(search.outFile)) {
    handOverToTarvex(options.tarvexProgram, options.tarvexArgs);  // tarvex names the file
  }
  // A list that fails is tarvex's to name; a list to be saved is not read yet, so that tarvex
  // still finds it whole.
  std::vector<SavedList> lists = listsToSave(search);
  if (!learnStartMessages(withListsAt(search, lists, emptyListPath))) {
    handOverToTarvex(options.tarvexProgram, options.tarvexArgs);
  }
  for (const SavedList& list : lists) {
    if (options.detach && list.descriptor < 0) {
      return fail(kStatusUsage, "--detach cannot hand the merge job the " + list.option + " " +
                                    list.given +
                                    ", which is no regular file: save the list in one first");
    }
  }

  if (options.listDays) {
    std::string list;
    for (const std::string& day : plan->days) list += day + "\n";
    writeAll(STDOUT_FILENO, list);
    return 0;
  }

  if (std::optional<ListReadFailure> failure = readLists(lists)) {
    if (failure->nothingRead) handOverToTarvex(options.tarvexProgram, options.tarvexArgs);
    return fail(kStatusUsage, failure->message + "; nothing was searched");
  }
  const std::string currentDir = currentDirectory();
  const ContentCksums cksums{cksumLineOfFile(options.tarvexProgram).value_or(""),
                             listCksum("--cidrfile", search.cidrFile, lists),
                             listCksum("--asnfile", search.asnFile, lists)};
  const std::string settings = workdirSettings(search, currentDir, cksums);
  const std::string workdirName =
      options.workdir.empty() ? defaultWorkdirName(settings) : options.workdir;
  std::variant<WorkDirectory, std::string> opened = WorkDirectory::open(workdirName, settings);
  if (std::string* problem = std::get_if<std::string>(&opened)) {
    return fail(kStatusUsage, *problem);
  }
  const WorkDirectory& workdir = std::get<WorkDirectory>(opened);
  if (std::optional<std::string> problem = writeCopies(lists, workdir.path() + "/lists")) {
    return fail(kStatusUsage, *problem);
  }
  // The days read the saved lists from their copies and name them so; what this program writes
  // names them as given.
  const SearchSettings daySearch = withListsAt(search, lists, copyPath);
  const std::optional<std::string> dayStartMessages = learnStartMessages(daySearch);
  if (!dayStartMessages) {
    return fail(kStatusUsage, "cannot read the lists saved in " + workdir.path() + "/lists");
  }
  const std::string runDay = workdir.path() + "/run-day";
  if (!writeScript(
          runDay,
          runDayScript(currentDir, workdir.path() + "/days", options.tarvexProgram, daySearch,
                       learnSharedFiles(options.tarvexProgram, daySearch, currentDir)))) {
    return fail(kStatusUsage, "cannot write " + runDay + ": " + std::strerror(errno));
  }

  const std::vector<std::string> missing = workdir.missingDays(plan->days);
  const EngineRun run{workdir.path(), missing,           workdir.path() + "/todo", currentDir,
                      options.jobs,   options.sshLogins, options.sbatchOptions};
  std::string todo;
  for (const std::string& day : missing) todo += day + "\n";
  if (const int error = writeFileText(run.dayList, todo); error != 0) {
    return fail(kStatusUsage, "cannot write " + run.dayList + ": " + std::strerror(error));
  }
  EngineLog log(workdir.path() + "/engine.log");
  catchStopSignals();
  if (!missing.empty()) {
    if (options.detach) return submitDetached(options, run, workdir, lists);
    const EngineFailure failure = options.engine == "local"      ? runLocal(run, log)
                                  : options.engine == "parallel" ? runParallel(run, log)
                                                                 : runSlurm(run, log);
    if (failure) return fail(kStatusUsage, *failure);
  }
  if (stopSignal() != 0) {
    return fail(kStatusShardFailed,
                std::string("stopped by ") + stopSignalName(stopSignal()) +
                    "; no report was written; " +
                    keptDays(workdir, "searches only the days that are missing"));
  }

  std::vector<std::string> dayLists;
  for (const std::string* list : {&daySearch.cidrFile, &daySearch.asnFile}) {
    if (!list->empty()) dayLists.push_back(*list);
  }
  const DayExpectations expected{*dayStartMessages, dayLists, search.verbose != 0,
                                 !search.outFile.empty()};
  if (!checkDays(workdir, plan->days, expected, log)) {
    return fail(kStatusShardFailed, "no report was written; " +
                                        keptDays(workdir, "searches only the days that failed"));
  }

  MergeInputs inputs{
      {}, namedAsGiven(*dayStartMessages, lists), dayStartMessages->size(), plan->trailer};
  for (const std::string& day : plan->days) inputs.dayResults.push_back(workdir.dayResult(day));
  // What could not be written keeps the days, so that nothing searched is lost.
  if (std::optional<int> failed = writeMergedResult(inputs, search.outFile, workdir)) {
    return *failed;
  }
  if (!options.keepWorkdir) workdir.remove();
  return plan->status;
}

}  // namespace tarvex::shard
