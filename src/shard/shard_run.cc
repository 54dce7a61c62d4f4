#include "shard/shard_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/start_checks.h"
#include "shard/day_check.h"
#include "shard/day_plan.h"
#include "shard/day_scripts.h"
#include "shard/engines.h"
#include "shard/host_checks.h"
#include "shard/merge.h"
#include "shard/posix_cksum.h"
#include "shard/shard_options.h"
#include "shard/shard_usage.h"
#include "shard/spawn.h"
#include "shard/start_messages.h"
#include "shard/work_directory.h"

namespace tarvex::shard {

namespace fs = std::filesystem;

namespace {

void writeText(int fd, const std::string& text) {
  std::string_view rest = text;
  while (!rest.empty()) {
    const ssize_t written = ::write(fd, rest.data(), rest.size());
    if (written <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
}

void say(const std::string& message) {
  writeText(STDERR_FILENO, "tarvex-shard: " + message + "\n");
}

int fail(int status, const std::string& message) {
  say(message);
  return status;
}

std::string resolvedPath(const std::string& path) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
  return error ? path : resolved.string();
}

// The tarvex to run: --tarvex, else the one next to this program, else the first on the PATH.
// Returns the message when there is none.
std::optional<std::string> findTarvex(std::string& program) {
  if (program.empty()) {
    const std::string here = resolvedPath("/proc/self/exe");
    const std::string beside = fs::path(here).parent_path().string() + "/tarvex";
    if (::access(beside.c_str(), X_OK) == 0) {
      program = beside;
    } else {
      program = findOnPath("tarvex");
      if (program.empty()) return std::string("no tarvex found; name it with --tarvex");
    }
  }
  if (::access(program.c_str(), X_OK) != 0) return program + " is not an executable program";
  program = resolvedPath(program);
  return std::nullopt;
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
  ::execv(program.c_str(), argv.data());
  say("cannot run " + program);
  std::exit(126);
}

// Whether the output file can be written, without creating or emptying it before the merge (so
// a run that fails or is killed leaves no report that looks complete).
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

// Every day complete and sound, or a message for each day that is not (such days are set aside
// so that a re-run searches them again).
bool checkDays(const WorkDirectory& workdir, const std::vector<std::string>& days,
               const DayExpectations& expected) {
  bool sound = true;
  for (const std::string& day : days) {
    if (!fs::is_directory(workdir.dayResult(day))) {
      const std::string reason = workdir.missingDayReason(day);
      say("day " + day + " failed: " + reason);
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

}  // namespace

int runShard(int argc, char** argv) {
  // The days' tarvex runs, the engines and their logs all speak the C locale, as before.
  ::setenv("LC_ALL", "C", 1);

  ShardOptions options;
  if (std::optional<std::string> missing =
          parseShardOptions(std::vector<std::string>(argv + 1, argv + argc), options)) {
    return fail(kStatusUsage, *missing);
  }
  if (options.help) {
    writeText(STDOUT_FILENO, std::string(kShardUsageText));
    return 0;
  }
  if (std::optional<std::string> missing = findTarvex(options.tarvexProgram)) {
    return fail(kStatusUsage, *missing);
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
  const std::optional<std::string> startMessages = learnStartMessages(search);
  if (!startMessages) handOverToTarvex(options.tarvexProgram, options.tarvexArgs);

  if (options.listDays) {
    std::string list;
    for (const std::string& day : plan->days) list += day + "\n";
    writeText(STDOUT_FILENO, list);
    return 0;
  }

  const std::string currentDir = currentDirectory();
  const std::string settings =
      workdirSettings(options.tarvexProgram, search, currentDir, cksumLineOfFile);
  const std::string workdirName =
      options.workdir.empty() ? defaultWorkdirName(settings) : options.workdir;
  std::variant<WorkDirectory, std::string> opened = WorkDirectory::open(workdirName, settings);
  if (std::string* problem = std::get_if<std::string>(&opened)) {
    return fail(kStatusUsage, *problem);
  }
  const WorkDirectory& workdir = std::get<WorkDirectory>(opened);
  writeScript(workdir.path() + "/run-day",
              runDayScript(currentDir, workdir.path() + "/days", options.tarvexProgram, search,
                           learnSharedFiles(options.tarvexProgram, search, currentDir)));

  const std::vector<std::string> missing = workdir.missingDays(plan->days);
  EngineRun run{workdir.path(), workdir.path() + "/todo", missing.size(),       currentDir,
                options.jobs,   options.sshLogins,        options.sbatchOptions};
  {
    std::ofstream todo(run.dayList, std::ios::binary | std::ios::trunc);
    for (const std::string& day : missing) todo << day << "\n";
  }
  if (!missing.empty()) {
    EngineFailure failure;
    if (options.engine == "local") {
      failure = runLocal(run);
    } else if (options.engine == "parallel") {
      failure = runParallel(run);
    } else if (!options.detach) {
      failure = runSlurm(run);
    } else {
      // The merge job is this program again, with the local engine on the same work directory:
      // it finds the finished days in place, searches once more any day that failed, and merges.
      std::vector<std::string> merge{resolvedPath("/proc/self/exe"), "--engine=local",
                                     "--tarvex=" + options.tarvexProgram,
                                     "--workdir=" + workdir.path()};
      if (options.keepWorkdir) merge.push_back("--keep-workdir");
      merge.insert(merge.end(), options.tarvexArgs.begin(), options.tarvexArgs.end());
      std::string submitted;
      failure = submitDetachedSlurm(run, merge, submitted);
      if (!failure) {
        say(submitted);
        return 0;
      }
    }
    if (failure) return fail(kStatusUsage, *failure);
  }

  const DayExpectations expected{*startMessages, search.verbose != 0, !search.outFile.empty()};
  if (!checkDays(workdir, plan->days, expected)) {
    return fail(kStatusShardFailed,
                "no report was written; the finished days are kept in " + workdir.path() +
                    ", and running the same command again searches only the days that failed");
  }

  int reportFd = -1;
  if (!search.outFile.empty()) {
    reportFd = ::open(search.outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (reportFd < 0) return fail(kStatusShardFailed, "cannot write " + search.outFile);
  }
  MergeInputs inputs{{}, *startMessages, plan->trailer};
  for (const std::string& day : plan->days) inputs.dayResults.push_back(workdir.dayResult(day));
  // A reader that leaves early loses the rest, and the status stays the single run's.
  ::signal(SIGPIPE, SIG_IGN);
  mergeDays(inputs, STDOUT_FILENO, STDERR_FILENO, reportFd);
  if (reportFd >= 0) ::close(reportFd);
  if (!options.keepWorkdir) workdir.remove();
  return plan->status;
}

}  // namespace tarvex::shard
