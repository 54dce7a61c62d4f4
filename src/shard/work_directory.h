// The work directory: where the one-day runs leave their results until the merge.
//
// Layout: `settings` (what decides a day's result besides its date), `lock` (held by the
// tarvex-shard that uses the directory), `days/DAY/` (a complete day: stdout, stderr, status,
// host and, with --outfile, report) and `days/.DAY.XXXXXX/` (an attempt that did not end as a
// one-day run ends, kept to say why; with `refused` when its host would not search the day). A
// day's directory is renamed into place only when its run is complete, so a day is either there
// whole or missing, and a re-run searches only the missing ones. The directory's name comes from
// everything that decides a day's result except the dates, so a longer range run later reuses the
// days it shares with this one.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "settings/search_settings.h"

namespace tarvex::shard {

/// The options every day's run gets besides its dates and output file, in a fixed order.
std::vector<std::string> dayRunOptions(const SearchSettings& search);

/// The cksum lines of what a work directory's days were searched with: the tarvex program and
/// the criteria lists (of a saved list, of what was read from it); empty where there is none.
struct ContentCksums {
  std::string tarvexProgram;
  std::string cidrList;
  std::string asnList;
};

/// The `settings` text of a work directory (no final newline): the tarvex program's and the
/// criteria lists' cksum lines, the day options, the operands, whether the report goes to a file
/// and the current directory.
std::string workdirSettings(const SearchSettings& search, const std::string& currentDir,
                            const ContentCksums& cksums);

/// The default name of the work directory for `settings`: tarvex-shard.KEY.
std::string defaultWorkdirName(const std::string& settings);

class WorkDirectory {
 public:
  /// Creates the directory at `path` (or takes it up again when its settings are `settings`) and
  /// locks it for this process. Returns the message when it cannot be used.
  static std::variant<WorkDirectory, std::string> open(const std::string& path,
                                                       const std::string& settings);

  WorkDirectory(WorkDirectory&& other) noexcept;
  WorkDirectory& operator=(WorkDirectory&&) = delete;
  ~WorkDirectory();

  /// The directory's absolute path, symbolic links resolved.
  const std::string& path() const { return path_; }
  std::string dayResult(const std::string& day) const { return path_ + "/days/" + day; }

  /// The days of `days` that have no complete result, in their order; what earlier attempts at
  /// them left is removed.
  std::vector<std::string> missingDays(const std::vector<std::string>& days) const;

  /// Why `day` has no complete result, from what its last attempt left; else what the engine
  /// said last about it (`engineSaid`, the engine's own reason, as ssh's for a host it could not
  /// reach), when it said anything.
  std::string missingDayReason(const std::string& day, const std::string& engineSaid) const;

  /// Moves the complete result of `day` aside, so that a re-run searches the day again.
  void setAside(const std::string& day) const;

  /// Removes the whole directory.
  void remove() const;

 private:
  WorkDirectory(std::string path, int lockFd) : path_(std::move(path)), lockFd_(lockFd) {}

  std::string path_;
  int lockFd_;
};

}  // namespace tarvex::shard
