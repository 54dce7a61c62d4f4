#include "cli/start_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "criteria/criteria_files.h"

namespace tarvex {

namespace {

// The file behind `path`, symbolic links followed; nothing when it cannot be found.
std::optional<struct stat> fileStatus(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return status;
}

std::optional<struct stat> standardInputStatus() {
  struct stat status;
  if (::fstat(STDIN_FILENO, &status) != 0) return std::nullopt;
  return status;
}

bool sameFile(const struct stat& left, const std::optional<struct stat>& right) {
  return right && left.st_dev == right->st_dev && left.st_ino == right->st_ino;
}

std::string refusal(const SearchSettings& settings, const std::string& input) {
  return "tarvex: the output file " + settings.outFile + " is the " + input +
         "; refused, so that it is not emptied\n";
}

}  // namespace

void warnAboutOperands(const SearchSettings& settings, OutputPort& out) {
  for (const std::string& operand : settings.operands) {
    out.toStderr("tarvex: " + operand +
                 " is not an option's value and is not searched (each dump needs its own "
                 "--update)\n");
  }
}

std::optional<std::string> outfileIsAnInput(const SearchSettings& settings) {
  if (settings.outFile.empty()) return std::nullopt;
  std::optional<struct stat> output = fileStatus(settings.outFile);
  // Opening the output empties a regular file only; a device or a pipe loses nothing.
  if (!output || !S_ISREG(output->st_mode)) return std::nullopt;

  const std::pair<const std::string*, const char*> lists[] = {
      {&settings.cidrFile, "--cidrfile list "},
      {&settings.asnFile, "--asnfile list "},
      {&settings.listFile, "--file list "},
  };
  for (const auto& [path, kind] : lists) {
    if (!path->empty() && sameFile(*output, fileStatus(*path))) {
      return refusal(settings, kind + *path);
    }
  }
  for (const std::string& dump : settings.updateFiles) {
    if (dump == "-") {
      if (sameFile(*output, standardInputStatus())) {
        return refusal(settings, "--update dump - (standard input)");
      }
    } else if (sameFile(*output, fileStatus(dump))) {
      return refusal(settings, "--update dump " + dump);
    }
  }
  return std::nullopt;
}

void warnAboutMissingDirs(const SearchSettings& settings, OutputPort& out) {
  for (const std::string& dir : settings.dirs) {
    // The walk joins "/" and an entry's name to the value, so an empty one is the root.
    if (dir.empty()) continue;
    struct stat status;
    std::string reason;
    if (::stat(dir.c_str(), &status) != 0) {
      reason = std::strerror(errno);
    } else if (!S_ISDIR(status.st_mode)) {
      reason = "not a directory";
    } else {
      continue;
    }
    out.toStderr("tarvex: --dir " + dir + ": " + reason + "; nothing is searched there\n");
  }
}

bool startRun(SearchSettings& settings, OutputPort& out, const std::function<bool()>& beforeLists) {
  warnAboutOperands(settings, out);
  if (!beforeLists()) return false;
  // Both criteria are complete before the first dump is opened.
  if (!settings.cidrFile.empty()) {
    const IpSet* cidrSet = nullptr;
    if (!loadCidrFile(settings.cidrFile, &cidrSet, out)) return false;
    settings.cidrSet = cidrSet;
  }
  if (!settings.asnFile.empty() && !loadAsnFile(settings, out)) return false;
  warnAboutMissingDirs(settings, out);
  return true;
}

}  // namespace tarvex
