#include "shard/engine_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "output/process_output.h"

namespace tarvex::shard {

namespace {

constexpr std::size_t kDayLength = 8;  // YYYYMMDD

// The day that a tagged segment names ("20240301\t..."), or an empty view.
std::string_view dayTag(std::string_view segment) {
  if (segment.size() <= kDayLength || segment[kDayLength] != '\t') return {};
  const std::string_view day = segment.substr(0, kDayLength);
  if (!std::all_of(day.begin(), day.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return {};
  }
  return day;
}

}  // namespace

void EngineLog::add(std::string_view bytes) {
  if (!path_.empty()) {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd >= 0) {
      writeAll(fd, bytes);  // the log is a record only: a full disk loses it, not the run
      ::close(fd);
    }
  }
  pending_.append(bytes);
  std::size_t begin = 0;
  for (std::size_t end; (end = pending_.find('\n', begin)) != std::string::npos; begin = end + 1) {
    takeLine(std::string_view(pending_).substr(begin, end - begin));
  }
  pending_.erase(0, begin);
}

void EngineLog::addAbout(const std::string& day, std::string_view text) {
  std::string tagged;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    tagged += day + "\t" + std::string(text.substr(0, end)) + "\n";
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  add(tagged);
}

void EngineLog::takeLine(std::string_view line) {
  // A carriage return ends a line too: parallel tags what follows it (ssh ends its messages so).
  while (!line.empty()) {
    const std::size_t end = std::min(line.find('\r'), line.size());
    std::string_view segment = line.substr(0, end);
    line.remove_prefix(std::min(end + 1, line.size()));
    const std::string_view day = dayTag(segment);
    if (!day.empty()) segment.remove_prefix(kDayLength + 1);
    if (segment.find_first_not_of(" \t") == std::string_view::npos) continue;
    (day.empty() ? lastOwnLine_ : lastLines_[std::string(day)]) = std::string(segment);
  }
}

std::string EngineLog::lastLineAbout(const std::string& day) const {
  const auto found = lastLines_.find(day);
  return found == lastLines_.end() ? std::string() : found->second;
}

}  // namespace tarvex::shard
