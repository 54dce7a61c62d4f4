#include "shard/work_directory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "shard/file_text.h"
#include "shard/posix_cksum.h"

namespace tarvex::shard {

namespace fs = std::filesystem;

namespace {

// A shell's "$(cat FILE)": the text less its final line feeds.
std::string withoutFinalNewlines(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

std::string randomSuffix() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  std::string suffix(6, 'X');
  for (char& c : suffix) c = kLetters[pick(generator)];
  return suffix;
}

// The attempts at `day` that did not complete, oldest name first (a shell's glob order).
std::vector<fs::path> attemptsAt(const std::string& daysDir, const std::string& day) {
  std::vector<fs::path> attempts;
  const std::string prefix = "." + day + ".";
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(daysDir, error)) {
    if (entry.path().filename().string().starts_with(prefix)) attempts.push_back(entry.path());
  }
  std::sort(attempts.begin(), attempts.end());
  return attempts;
}

}  // namespace

std::vector<std::string> dayRunOptions(const SearchSettings& search) {
  std::vector<std::string> options;
  if (!search.cidrFile.empty()) options.push_back("--cidrfile=" + search.cidrFile);
  if (!search.asnFile.empty()) options.push_back("--asnfile=" + search.asnFile);
  if (search.orMatch) options.push_back("--or");
  if (search.verbose) options.push_back("--verbose");
  for (const std::string& dir : search.dirs) options.push_back("--dir=" + dir);
  return options;
}

std::string workdirSettings(const SearchSettings& search, const std::string& currentDir,
                            const ContentCksums& cksums) {
  std::string settings = "tarvex-shard work directory 1\n";
  settings += cksums.tarvexProgram + "\n";
  for (const std::string& option : dayRunOptions(search)) settings += option + "\n";
  for (const std::string& operand : search.operands) settings += "operand " + operand + "\n";
  if (!search.outFile.empty()) settings += "report in a file\n";
  if (!search.cidrFile.empty()) settings += cksums.cidrList + "\n";
  if (!search.asnFile.empty()) settings += cksums.asnList + "\n";
  settings += "cwd " + currentDir;
  return withoutFinalNewlines(settings);
}

std::string defaultWorkdirName(const std::string& settings) {
  return "tarvex-shard." + std::to_string(posixCksum(settings + "\n"));
}

std::variant<WorkDirectory, std::string> WorkDirectory::open(const std::string& path,
                                                             const std::string& settings) {
  std::error_code error;
  fs::create_directories(fs::path(path) / "days", error);
  if (error || !fs::is_directory(fs::path(path) / "days")) {
    return "cannot create the work directory " + path;
  }
  const std::string resolved = fs::canonical(path, error).string();
  const std::string settingsFile = resolved + "/settings";
  if (fs::is_regular_file(settingsFile)) {
    if (withoutFinalNewlines(fileText(settingsFile)) != settings) {
      return resolved +
             " holds days searched with other options, criteria lists or another tarvex; remove "
             "it or name another --workdir";
    }
  } else if (const int error = writeFileText(settingsFile, settings + "\n"); error != 0) {
    return "cannot write " + settingsFile + ": " + std::strerror(error);
  }
  const std::string lockFile = resolved + "/lock";
  const int lockFd = ::open(lockFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (lockFd < 0 || ::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    if (lockFd >= 0) ::close(lockFd);
    return "another tarvex-shard is using " + resolved;
  }
  return WorkDirectory(resolved, lockFd);
}

WorkDirectory::WorkDirectory(WorkDirectory&& other) noexcept
    : path_(std::move(other.path_)), lockFd_(other.lockFd_) {
  other.lockFd_ = -1;
}

WorkDirectory::~WorkDirectory() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

std::vector<std::string> WorkDirectory::missingDays(const std::vector<std::string>& days) const {
  std::vector<std::string> missing;
  for (const std::string& day : days) {
    if (fs::is_directory(dayResult(day))) continue;
    std::error_code error;
    for (const fs::path& attempt : attemptsAt(path_ + "/days", day)) fs::remove_all(attempt, error);
    missing.push_back(day);
  }
  return missing;
}

std::string WorkDirectory::missingDayReason(const std::string& day,
                                            const std::string& engineSaid) const {
  std::string reason =
      !engineSaid.empty()
          ? engineSaid
          : "no result: the shard was killed, its host was lost, or it could not write to " + path_;
  for (const fs::path& attempt : attemptsAt(path_ + "/days", day)) {
    if (!fs::is_directory(attempt)) continue;
    const std::string host = withoutFinalNewlines(fileText(attempt / "host"));
    // A run that ended as a one-day run ends was lost after it (its rename): the engine says why.
    const std::string status = withoutFinalNewlines(fileText(attempt / "status"));
    if (!status.empty() && (status != "1" || engineSaid.empty())) {
      const int value = std::atoi(status.c_str());
      if (value >= 128) {
        reason = "tarvex was ended by signal " + std::to_string(value - 128) + " (status " +
                 status + ")";
      } else {
        reason =
            "tarvex ended with status " + status + ": " + lastLine(fileText(attempt / "stderr"));
      }
    }
    // A host that refused its day names itself.
    if (fs::is_regular_file(attempt / "refused")) {
      reason = lastLine(fileText(attempt / "refused"));
    } else if (!host.empty()) {
      reason += " (on " + host + ")";
    }
  }
  return reason;
}

void WorkDirectory::setAside(const std::string& day) const {
  std::error_code error;
  for (;;) {
    const std::string aside = path_ + "/days/." + day + "." + randomSuffix();
    if (fs::exists(aside, error)) continue;
    fs::rename(dayResult(day), aside, error);
    return;
  }
}

void WorkDirectory::remove() const {
  std::error_code error;
  fs::remove_all(path_, error);
}

}  // namespace tarvex::shard
