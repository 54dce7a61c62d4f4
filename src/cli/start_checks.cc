#include "cli/start_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "cli/date_range.h"
#include "cli/list_messages.h"
#include "criteria/ip_set.h"
#include "discovery/archive_days.h"

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

// Whether the dump at `path` ("-": standard input) is the file `output`.
bool dumpIsFile(const std::string& path, const struct stat& output) {
  return sameFile(output, path == "-" ? standardInputStatus() : fileStatus(path));
}

std::string refusal(const SearchSettings& settings, const std::string& input) {
  return "tarvex: the output file " + settings.outFile + " is the " + input +
         "; refused, so that it is not emptied\n";
}

// The dumps of the --file list, read ahead; the list goes to `dumpList`, rewound, when given.
std::optional<std::string> listedDumpIsOutput(const SearchSettings& settings,
                                              const struct stat& output,
                                              std::unique_ptr<input::LineFile>* dumpList) {
  auto list = std::make_unique<input::LineFile>(settings.listFile);
  if (dumpList == nullptr) {
    struct stat status;
    // Without a taker for what is read, only a list that can be read again is looked at.
    if (::stat(settings.listFile.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
      return std::nullopt;
    }
  }
  list->keepForRewind();
  std::optional<std::string> found;
  std::string_view line;
  for (std::size_t number = 1; !found && list->nextLine(line); ++number) {
    // The scan reads a path up to its first NUL byte, as the system does.
    const std::string path(line.substr(0, line.find('\0')));
    if (dumpIsFile(path, output)) {
      found = refusal(settings, "dump " + path + " of the --file list " + settings.listFile +
                                    " (line " + std::to_string(number) + ")");
    }
  }
  list->rewind();
  if (dumpList != nullptr) *dumpList = std::move(list);
  return found;
}

// The dumps that the date range would search, day by day, with the walk's own rules; nothing is
// said about the dates here (the walk says it when it runs).
std::optional<std::string> dayDumpIsOutput(const SearchSettings& settings,
                                           const struct stat& output) {
  DiscardingPort quiet;
  if (!checkDateRange(settings.startDate, settings.endDate, quiet)) return std::nullopt;
  std::optional<std::string> found;
  walkDays(
      settings.startDate, settings.endDate,
      [&](const std::string& day) {
        if (found) return;
        for (const std::string& path : listDayFiles(settings.dirs, day)) {
          if (isScannedUpdatePath(path) && dumpIsFile(path, output)) {
            found = refusal(settings, "dump " + path + " of the day " + day);
            return;
          }
        }
      },
      quiet);
  return found;
}

}  // namespace

void warnAboutOperands(const SearchSettings& settings, OutputPort& out) {
  for (const std::string& operand : settings.operands) {
    out.toStderr("tarvex: " + operand +
                 " is not an option's value and is not searched (each dump needs its own "
                 "--update)\n");
  }
}

void warnAboutUnusedList(const SearchSettings& settings, OutputPort& out) {
  if (settings.inputMode() != InputMode::kUpdateFiles || settings.listFile.empty()) return;
  out.toStderr("tarvex: --file " + settings.listFile +
               " is not used: only the --update dumps are searched\n");
}

std::optional<std::string> outfileIsAnInput(const SearchSettings& settings,
                                            std::unique_ptr<input::LineFile>* dumpList) {
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
    if (dumpIsFile(dump, *output)) {
      return refusal(settings, dump == "-" ? std::string("--update dump - (standard input)")
                                           : "--update dump " + dump);
    }
  }
  // Emptying an empty file loses nothing, so a run whose output is new or empty reads no list
  // and walks no day for this.
  if (output->st_size == 0) return std::nullopt;
  switch (settings.inputMode()) {
    case InputMode::kListFile:
      return listedDumpIsOutput(settings, *output, dumpList);
    case InputMode::kDateRange:
      return dayDumpIsOutput(settings, *output);
    case InputMode::kUpdateFiles:
    case InputMode::kNone:
      break;
  }
  return std::nullopt;
}

void warnAboutDirs(const SearchSettings& settings, OutputPort& out) {
  const bool walksDays = settings.inputMode() == InputMode::kDateRange;
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
      // The walk tests whole paths for "meta" and "updates", so the archive's own path can
      // decide for every file below it.
      if (!walksDays) continue;
      switch (selectionBelow(dir)) {
        case SelectionBelow::kNone:
          out.toStderr("tarvex: --dir " + dir +
                       ": its path holds \"meta\", so no file below it is searched\n");
          break;
        case SelectionBelow::kEvery:
          out.toStderr("tarvex: --dir " + dir +
                       ": its path holds \"updates\", so every file of a day below it is "
                       "searched, whatever its name (RIB dumps too)\n");
          break;
        case SelectionBelow::kByPath:
          break;
      }
      continue;
    }
    out.toStderr("tarvex: --dir " + dir + ": " + reason + "; nothing is searched there\n");
  }
}

bool startRun(SearchSettings& settings, OutputPort& out, const std::function<bool()>& beforeLists) {
  warnAboutOperands(settings, out);
  warnAboutUnusedList(settings, out);
  if (!beforeLists()) return false;
  // Both criteria are complete before the first dump is opened. Without --or every list named
  // must match, so an empty one rules out every route.
  const char* kNothingMatches =
      ", so no route can match (without --or every list named must match)\n";
  if (!settings.cidrFile.empty()) {
    settings.cidrSet = loadListTellingOf(loadCidrFile, settings.cidrFile, out);
    if (settings.cidrSet == nullptr) return false;
    if (!settings.orMatch && settings.cidrSet->empty()) {
      out.toStderr("tarvex: " + settings.cidrFile + ": the CIDR list holds no block" +
                   kNothingMatches);
    }
  }
  if (!settings.asnFile.empty()) {
    settings.asnSet = loadListTellingOf(loadAsnFile, settings.asnFile, out);
    if (settings.asnSet == nullptr) return false;
    if (!settings.orMatch && settings.asnSet->empty()) {
      out.toStderr("tarvex: " + settings.asnFile + ": the AS number list is empty" +
                   kNothingMatches);
    }
  }
  warnAboutDirs(settings, out);
  return true;
}

}  // namespace tarvex
