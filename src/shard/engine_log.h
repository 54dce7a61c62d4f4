// What the engines say while the days run: GNU parallel's own messages, and each day's output
// (the day script's complaints, ssh's errors for a host it could not reach) in lines tagged with
// the day ("DAY<TAB>text", as `parallel --tag` writes them; the local engine tags its days the
// same way). Everything is appended to the work directory's engine.log as it comes, when that
// can be written. The last line said about each day is also kept here: a day that left no
// result is named with it, and a work directory on a full disk keeps nothing to read it back.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace tarvex::shard {

class EngineLog {
 public:
  /// A log appended to the file at `path` (nothing is written when `path` is empty).
  explicit EngineLog(std::string path) : path_(std::move(path)) {}

  /// Takes the next bytes of the engine's output, tagged lines and others.
  void add(std::string_view bytes);

  /// Takes what the day `day` wrote, untagged.
  void addAbout(const std::string& day, std::string_view text);

  /// The last line that is not empty of what was said about `day`; empty when nothing was.
  std::string lastLineAbout(const std::string& day) const;

  /// The last line that is not empty of the engine's own messages (those of no day).
  const std::string& lastOwnLine() const { return lastOwnLine_; }

 private:
  // Keeps one complete line (less its line feed).
  void takeLine(std::string_view line);

  std::string path_;
  std::string pending_;  // the start of a line whose line feed has not come yet
  std::map<std::string, std::string> lastLines_;
  std::string lastOwnLine_;
};

}  // namespace tarvex::shard
