#include "shard/engines.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "shard/day_scripts.h"
#include "shard/file_text.h"
#include "shard/spawn.h"
#include "shard/stop_signals.h"

namespace tarvex::shard {

namespace {

constexpr int kAppend = O_WRONLY | O_CREAT | O_APPEND;
constexpr int kCreate = O_WRONLY | O_CREAT | O_TRUNC;

// The last line of the engine's log, for a message about a failure to start.
std::string lastLogLine(const EngineRun& run) {
  return lastLine(fileText(run.workdir + "/engine.log"));
}

// --jobs as a count, at least one; `fallback` when not given.
std::size_t jobCount(const EngineRun& run, std::size_t fallback) {
  if (run.jobs.empty()) return fallback;
  const unsigned long long jobs = std::strtoull(run.jobs.c_str(), nullptr, 10);
  return jobs == 0 ? 1 : static_cast<std::size_t>(std::min<unsigned long long>(jobs, 1u << 20));
}

// Reads what is there on `fd` into `text`; false at the end (or on an error other than EINTR).
bool readMore(int fd, std::string& text) {
  char buffer[4096];
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
  return got > 0 || (got < 0 && errno == EINTR);
}

// The job id that "sbatch --parsable" printed first in the file at `path` ("ID" or "ID;CLUSTER").
std::string parsableJobId(const std::string& path) {
  const std::string text = fileText(path);
  return text.substr(0, text.find_first_of(";\n"));
}

std::string arraySpec(const EngineRun& run) {
  std::string spec = "0-" + std::to_string(run.days.size() - 1);
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

std::optional<std::string> writeSlurmTask(const EngineRun& run) {
  ::mkdir((run.workdir + "/slurm").c_str(), 0777);
  const std::string task = run.workdir + "/slurm-task";
  if (!writeScript(task, slurmTaskScript(run.workdir + "/run-day", run.dayList))) {
    return "cannot write " + task + ": " + std::strerror(errno);
  }
  return std::nullopt;
}

void cancelJob(const std::string& job) {
  runProgram({"scancel", job}, {{STDERR_FILENO, "/dev/null", O_WRONLY}});
}

// Makes this process the reaper of the orphans among its descendants: the tarvex of a day whose
// shell was stopped first then becomes a child of this process, which can wait for it, so that a
// stopped run ends only once no day runs any more.
void adoptOrphans() {
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

// Waits for every child left once the engine itself has ended: the orphans adopted above.
void reapOrphans() {
  while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
  }
}

// One day that the local engine runs: run-day in a process group of its own (so that it, its
// tarvex and their helpers can be stopped as one), both its streams into one pipe.
struct RunningDay {
  std::string day;
  pid_t pid = -1;
  int output = -1;
  std::string said;
};

std::optional<RunningDay> startDay(const EngineRun& run, const std::string& day, EngineLog& log) {
  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0) {
    log.addAbout(day, std::string("cannot start run-day: ") + std::strerror(errno));
    return std::nullopt;
  }
  const pid_t pid = startProgram({run.workdir + "/run-day", day},
                                 {{STDIN_FILENO, "/dev/null", O_RDONLY},
                                  {STDOUT_FILENO, "", 0, channel[1]},
                                  {STDERR_FILENO, "", 0, channel[1]}},
                                 {.ownProcessGroup = true});
  ::close(channel[1]);
  if (pid < 0) {
    ::close(channel[0]);
    log.addAbout(day, std::string("cannot start run-day: ") + std::strerror(errno));
    return std::nullopt;
  }
  return RunningDay{day, pid, channel[0], ""};
}

// Collects the rest of what the day said, waits for run-day and hands both to the log.
void finishDay(RunningDay& running, EngineLog& log) {
  while (readMore(running.output, running.said)) {
  }
  ::close(running.output);
  const int status = waitProgram(running.pid);
  if (status > 128) {
    running.said += "run-day was ended by signal " + std::to_string(status - 128) + "\n";
  }
  log.addAbout(running.day, running.said);
}

}  // namespace

EngineFailure runLocal(const EngineRun& run, EngineLog& log) {
  adoptOrphans();
  const std::size_t jobs = jobCount(run, 1);
  std::vector<RunningDay> running;
  std::size_t next = 0;
  for (;;) {
    while (stopSignal() == 0 && running.size() < jobs && next < run.days.size()) {
      if (std::optional<RunningDay> day = startDay(run, run.days[next], log)) {
        running.push_back(std::move(*day));
      }
      ++next;
    }
    if (running.empty()) break;
    if (stopSignal() != 0) {
      for (const RunningDay& day : running) ::kill(-day.pid, SIGKILL);
      for (RunningDay& day : running) finishDay(day, log);
      reapOrphans();
      break;
    }
    std::vector<pollfd> watched;
    for (const RunningDay& day : running) watched.push_back({day.output, POLLIN, 0});
    watched.push_back({stopNotice(), POLLIN, 0});
    if (::poll(watched.data(), watched.size(), -1) < 0) continue;  // EINTR: a stop, or a child
    for (std::size_t i = running.size(); i-- > 0;) {
      if (watched[i].revents == 0) continue;
      if (!readMore(running[i].output, running[i].said)) {
        finishDay(running[i], log);
        running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
  return std::nullopt;
}

EngineFailure runParallel(const EngineRun& run, EngineLog& log) {
  std::vector<std::string> command{"parallel", "--will-cite", "--jobs",
                                   std::to_string(jobCount(run, 2))};
  for (const std::string& login : run.sshLogins)
    command.insert(command.end(), {"--sshlogin", login});
  // --tag puts the day before each line a day's job writes: what ssh says about a host it
  // cannot reach is then said about the day.
  command.insert(command.end(), {"--tag", "--arg-file", run.dayList, run.workdir + "/run-day"});
  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0) {
    return std::string("cannot start GNU parallel: ") + std::strerror(errno);
  }
  // In a process group of its own: a stop reaches it from tarvex-shard alone, as one SIGTERM,
  // on which it stops every job it runs (its --term-seq) and ends.
  adoptOrphans();
  const pid_t parallel = startProgram(command,
                                      {{STDIN_FILENO, "/dev/null", O_RDONLY},
                                       {STDOUT_FILENO, "", 0, channel[1]},
                                       {STDERR_FILENO, "", 0, channel[1]}},
                                      {.ownProcessGroup = true});
  ::close(channel[1]);
  bool stopping = false;
  for (std::string said;;) {
    if (stopSignal() != 0 && !stopping && parallel > 0) {
      ::kill(parallel, SIGTERM);
      stopping = true;
    }
    pollfd watched[2] = {{channel[0], POLLIN, 0}, {stopNotice(), POLLIN, 0}};
    if (::poll(watched, stopping ? 1 : 2, -1) < 0) continue;
    if (watched[0].revents == 0) continue;
    const bool more = readMore(channel[0], said);
    log.add(said);
    said.clear();
    if (!more) break;
  }
  ::close(channel[0]);
  const int status = parallel < 0 ? -1 : waitProgram(parallel);
  if (stopping) {
    reapOrphans();
    return std::nullopt;
  }
  // parallel ends with the number of failed days (at most 101); above that it did not run.
  if (status > 101 || status < 0) {
    return "GNU parallel failed (status " + std::to_string(status) + "): " + log.lastOwnLine();
  }
  return std::nullopt;
}

EngineFailure runSlurm(const EngineRun& run, EngineLog& log) {
  if (EngineFailure failure = writeSlurmTask(run)) return failure;
  // --wait keeps sbatch until every task has ended; --parsable makes its first line the job's
  // id, which a stop uses to cancel the job.
  const std::string idFile = run.workdir + "/sbatch.out";
  ::unlink(idFile.c_str());  // an earlier run's job id is not this one's
  const pid_t sbatch = startProgram(
      arrayCommand(run, true),
      {{STDOUT_FILENO, idFile, kCreate}, {STDERR_FILENO, run.workdir + "/engine.log", kAppend}},
      {.ignoreInterrupts = true});
  std::string job;
  bool cancelled = false;
  // Once cancelled, sbatch still waits for the job to end: the run then says it stopped only
  // when no task of the array runs any more.
  for (bool ended = sbatch < 0; !ended;) {
    int status = 0;
    ended = ::waitpid(sbatch, &status, WNOHANG) == sbatch;
    if (job.empty()) job = parsableJobId(idFile);
    if (stopSignal() != 0 && !cancelled && !job.empty()) {
      cancelJob(job);
      cancelled = true;
    }
    if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  if (cancelled) return std::nullopt;
  if (job.empty()) return "sbatch did not submit the job: " + lastLogLine(run);
  // What each task wrote, for a day that left no result.
  for (std::size_t task = 0; task < run.days.size(); ++task) {
    const std::string said =
        fileText(run.workdir + "/slurm/" + job + "_" + std::to_string(task) + ".log");
    if (!said.empty()) log.addAbout(run.days[task], said);
  }
  return std::nullopt;
}

EngineFailure runEngine(Engine engine, const EngineRun& run, EngineLog& log) {
  switch (engine) {
    case Engine::kLocal:
      return runLocal(run, log);
    case Engine::kParallel:
      return runParallel(run, log);
    case Engine::kSlurm:
      break;
  }
  return runSlurm(run, log);
}

EngineFailure submitDetachedSlurm(const EngineRun& run, const std::string& mergeScript,
                                  std::string& submitted) {
  if (EngineFailure failure = writeSlurmTask(run)) return failure;
  const std::string log = run.workdir + "/engine.log";
  const std::string idFile = run.workdir + "/sbatch.out";
  runProgram(arrayCommand(run, false),
             {{STDOUT_FILENO, idFile, kCreate}, {STDERR_FILENO, log, kAppend}});
  const std::string arrayJob = parsableJobId(idFile);
  if (arrayJob.empty()) return "sbatch did not submit the job: " + lastLogLine(run);

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
    cancelJob(arrayJob);
    return "sbatch did not submit the merge job: " + lastLogLine(run);
  }
  submitted = "submitted job array " + arrayJob + " (" + std::to_string(run.days.size()) +
              " days) and merge job " + mergeJob +
              "; the merge writes its standard output to tarvex-shard-merge." + mergeJob +
              ".stdout and its standard error to tarvex-shard-merge." + mergeJob +
              ".stderr, and ends with the status of a single run (sacct -j " + mergeJob + ")";
  return std::nullopt;
}

}  // namespace tarvex::shard
