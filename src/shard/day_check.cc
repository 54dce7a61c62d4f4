#include "shard/day_check.h"

#include <filesystem>
#include <fstream>

#include "cli/usage.h"
#include "discovery/archive_days.h"
#include "input/line_file.h"
#include "output/process_output.h"
#include "shard/file_text.h"
#include "shard/shard_messages.h"

namespace tarvex::shard {

namespace {

// The line of `text` that holds the byte at `at`, less its line feed.
std::string lineAround(const std::string& text, std::size_t at) {
  if (at >= text.size()) return "";
  const std::size_t begin = at == 0 ? 0 : text.rfind('\n', at - 1) + 1;  // npos + 1 is 0
  return text.substr(begin, text.find('\n', begin) - begin);
}

// The first bytes of the file at `path`, at most `count`.
std::string fileHead(const std::string& path, std::size_t count) {
  std::ifstream file(path, std::ios::binary);
  std::string head(count, '\0');
  file.read(head.data(), static_cast<std::streamsize>(count));
  head.resize(static_cast<std::size_t>(file.gcount()));
  return head;
}

// Whether `line` is a message with which tarvex ends a run before its first day.
bool endsTheStart(const std::string& line, const std::vector<std::string>& lists) {
  if (line.starts_with(input::kCannotOpenList) || line.starts_with(kCannotOpenOutputFile)) {
    return true;
  }
  for (const std::string& list : lists) {
    if (line.starts_with(input::readErrorPrefix(list))) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> dayFault(const std::string& result, const DayExpectations& expected) {
  // tarvex answers a command line it cannot read with its usage text, before anything else.
  if (fileHead(result + "/stdout", kUsageText.size()) == kUsageText) {
    return "tarvex printed its usage text";
  }
  const std::optional<std::string> read = fileTextIfReadable(result + "/stderr");
  if (!read) return "its standard error cannot be read";
  const std::string& messages = *read;
  const std::string& start = expected.startMessages;
  std::size_t same = 0;
  while (same < start.size() && same < messages.size() && start[same] == messages[same]) ++same;
  if (same < start.size()) {
    if (same == messages.size()) {
      return "it wrote fewer messages about the criteria lists than this host";
    }
    const std::string line = lineAround(messages, same);
    if (endsTheStart(line, expected.lists)) return line;
    return "its messages about the criteria lists differ from this host's: " + line;
  }
  const std::string next = lineAround(messages, start.size());
  if (endsTheStart(next, expected.lists)) return next;
  if (expected.verbose && next + "\n" != kBuildingFileList) {
    return "tarvex did not walk the day: " + next;
  }
  // A report that could not be written ends the run at once, with this as its last word.
  if (const std::string last = lastLine(messages); last.starts_with(kCannotWriteReport)) {
    return last;
  }
  if (expected.reportInFile && !std::filesystem::is_regular_file(result + "/report")) {
    return "its report file is missing";
  }
  return std::nullopt;
}

bool checkDays(const WorkDirectory& workdir, const std::vector<std::string>& days,
               const DayExpectations& expected, const EngineLog& log) {
  bool sound = true;
  for (const std::string& day : days) {
    if (!std::filesystem::is_directory(workdir.dayResult(day))) {
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

}  // namespace tarvex::shard
