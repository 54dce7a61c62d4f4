#include "shard/engines.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "shard/day_scripts.h"
#include "shard/file_text.h"
#include "shard/spawn.h"

namespace tarvex::shard {

namespace {

constexpr int kAppend = O_WRONLY | O_CREAT | O_APPEND;
constexpr int kCreate = O_WRONLY | O_CREAT | O_TRUNC;

// The last line of the engine's log, for a message about a failure to start.
std::string lastLogLine(const EngineRun& run) {
  std::string text = fileText(run.workdir + "/engine.log");
  if (!text.empty() && text.back() == '\n') text.pop_back();
  const std::size_t newline = text.rfind('\n');
  return newline == std::string::npos ? text : text.substr(newline + 1);
}

// The job id that "sbatch --parsable" printed first in the file at `path` ("ID" or "ID;CLUSTER").
std::string parsableJobId(const std::string& path) {
  const std::string text = fileText(path);
  return text.substr(0, text.find_first_of(";\n"));
}

std::string arraySpec(const EngineRun& run) {
  std::string spec = "0-" + std::to_string(run.dayCount - 1);
  if (!run.jobs.empty()) spec += "%" + run.jobs;
  return spec;
}

// The sbatch command line of the array, waited for or not.
std::vector<std::string> arrayCommand(const EngineRun& run, bool wait) {
  std::vector<std::string> command{"sbatch", "--parsable"};
  if (wait) command.push_back("--wait");
  command.insert(command.end(),
                 {"--array=" + arraySpec(run), "--job-name=tarvex-shard",
                  "--chdir=" + run.currentDir, "--output=" + run.workdir + "/slurm/%A_%a.log"});
  command.insert(command.end(), run.sbatchOptions.begin(), run.sbatchOptions.end());
  command.push_back(run.workdir + "/slurm-task");
  return command;
}

void writeSlurmTask(const EngineRun& run) {
  ::mkdir((run.workdir + "/slurm").c_str(), 0777);
  writeScript(run.workdir + "/slurm-task", slurmTaskScript(run.workdir + "/run-day", run.dayList));
}

volatile sig_atomic_t interruptedBy = 0;
void noteInterrupt(int signal) {
  interruptedBy = signal;
}

}  // namespace

EngineFailure runLocal(const EngineRun& run) {
  std::ifstream list(run.dayList);
  for (std::string day; std::getline(list, day);) runProgram({run.workdir + "/run-day", day}, {});
  return std::nullopt;
}

EngineFailure runParallel(const EngineRun& run) {
  std::vector<std::string> command{"parallel", "--will-cite", "--jobs",
                                   run.jobs.empty() ? "2" : run.jobs};
  for (const std::string& login : run.sshLogins)
    command.insert(command.end(), {"--sshlogin", login});
  command.insert(command.end(), {"--arg-file", run.dayList, run.workdir + "/run-day"});
  const std::string log = run.workdir + "/engine.log";
  const int status =
      runProgram(command, {{STDOUT_FILENO, log, kAppend}, {STDERR_FILENO, log, kAppend}});
  // parallel ends with the number of failed days (at most 101); above that it did not run.
  if (status > 101 || status < 0) {
    return "GNU parallel failed (status " + std::to_string(status) + "): " + lastLogLine(run);
  }
  return std::nullopt;
}

EngineFailure runSlurm(const EngineRun& run) {
  writeSlurmTask(run);
  // --wait keeps sbatch until every task has ended; --parsable makes its first line the job's
  // id, which an interrupt uses to cancel the job.
  const std::string idFile = run.workdir + "/sbatch.out";
  ::unlink(idFile.c_str());  // an earlier run's job id is not this one's
  const pid_t sbatch = startProgram(
      arrayCommand(run, true),
      {{STDOUT_FILENO, idFile, kCreate}, {STDERR_FILENO, run.workdir + "/engine.log", kAppend}},
      true);
  struct sigaction note {};
  note.sa_handler = noteInterrupt;
  struct sigaction oldInt {
  }, oldTerm{};
  ::sigaction(SIGINT, &note, &oldInt);
  ::sigaction(SIGTERM, &note, &oldTerm);
  std::string job;
  int status = 0;
  for (bool ended = sbatch < 0; !ended;) {
    ended = ::waitpid(sbatch, &status, WNOHANG) == sbatch;
    if (job.empty()) job = parsableJobId(idFile);
    if (interruptedBy != 0) {
      if (!job.empty()) runProgram({"scancel", job}, {{STDERR_FILENO, "/dev/null", O_WRONLY}});
      std::exit(130);
    }
    if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ::sigaction(SIGINT, &oldInt, nullptr);
  ::sigaction(SIGTERM, &oldTerm, nullptr);
  if (parsableJobId(idFile).empty()) return "sbatch did not submit the job: " + lastLogLine(run);
  return std::nullopt;
}

EngineFailure submitDetachedSlurm(const EngineRun& run,
                                  const std::vector<std::string>& mergeCommand,
                                  std::string& submitted) {
  writeSlurmTask(run);
  const std::string log = run.workdir + "/engine.log";
  const std::string idFile = run.workdir + "/sbatch.out";
  runProgram(arrayCommand(run, false),
             {{STDOUT_FILENO, idFile, kCreate}, {STDERR_FILENO, log, kAppend}});
  const std::string arrayJob = parsableJobId(idFile);
  if (arrayJob.empty()) return "sbatch did not submit the job: " + lastLogLine(run);

  const std::string mergeScript = run.workdir + "/slurm-merge";
  writeScript(mergeScript, slurmMergeScript(mergeCommand));
  std::vector<std::string> command{"sbatch",
                                   "--parsable",
                                   "--dependency=afterany:" + arrayJob,
                                   "--job-name=tarvex-shard-merge",
                                   "--chdir=" + run.currentDir,
                                   "--output=tarvex-shard-merge.%j.stdout",
                                   "--error=tarvex-shard-merge.%j.stderr"};
  command.insert(command.end(), run.sbatchOptions.begin(), run.sbatchOptions.end());
  command.push_back(mergeScript);
  runProgram(command, {{STDOUT_FILENO, idFile, kCreate}, {STDERR_FILENO, log, kAppend}});
  const std::string mergeJob = parsableJobId(idFile);
  if (mergeJob.empty()) {
    runProgram({"scancel", arrayJob}, {{STDERR_FILENO, "/dev/null", O_WRONLY}});
    return "sbatch did not submit the merge job: " + lastLogLine(run);
  }
  submitted = "submitted job array " + arrayJob + " (" + std::to_string(run.dayCount) +
              " days) and merge job " + mergeJob +
              "; the merge writes its standard output to tarvex-shard-merge." + mergeJob +
              ".stdout and its standard error to tarvex-shard-merge." + mergeJob +
              ".stderr, and ends with the status of a single run (sacct -j " + mergeJob + ")";
  return std::nullopt;
}

}  // namespace tarvex::shard
