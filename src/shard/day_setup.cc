#include "shard/day_setup.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include "shard/day_scripts.h"
#include "shard/host_checks.h"
#include "shard/posix_cksum.h"
#include "shard/run_paths.h"
#include "shard/start_messages.h"

namespace tarvex::shard {

namespace {

// The cksum line of the criteria list `path` given with `option`: of what was read from it when
// it is saved, else of the file.
std::string listCksum(const std::string& option, const std::string& path,
                      const std::vector<SavedList>& lists) {
  if (path.empty()) return "";
  for (const SavedList& list : lists) {
    if (list.option == option) {
      return std::to_string(posixCksum(list.text)) + " " + std::to_string(list.text.size());
    }
  }
  return cksumLineOfFile(path).value_or("");
}

}  // namespace

std::variant<DaySetup, std::string> setUpDays(const ShardOptions& options,
                                              std::vector<SavedList>& lists) {
  const SearchSettings& search = options.search;
  const std::string currentDir = currentDirectory();
  const ContentCksums cksums{cksumLineOfFile(options.tarvexProgram).value_or(""),
                             listCksum("--cidrfile", search.cidrFile, lists),
                             listCksum("--asnfile", search.asnFile, lists)};
  const std::string settings = workdirSettings(search, currentDir, cksums);
  const std::string workdirName =
      options.workdir.empty() ? defaultWorkdirName(settings) : options.workdir;
  std::variant<WorkDirectory, std::string> opened = WorkDirectory::open(workdirName, settings);
  if (std::string* problem = std::get_if<std::string>(&opened)) return std::move(*problem);
  WorkDirectory& workdir = std::get<WorkDirectory>(opened);
  if (std::optional<std::string> problem = writeCopies(lists, workdir.path() + "/lists")) {
    return std::move(*problem);
  }
  // The days read the saved lists from their copies and name them so; what this program writes
  // names them as given.
  SearchSettings daySearch = withListsAt(search, lists, copyPath);
  std::optional<std::string> dayStartMessages = learnStartMessages(daySearch);
  if (!dayStartMessages) return "cannot read the lists saved in " + workdir.path() + "/lists";
  const std::string runDay = workdir.path() + "/run-day";
  if (!writeScript(
          runDay,
          runDayScript(currentDir, workdir.path() + "/days", options.tarvexProgram, daySearch,
                       learnSharedFiles(options.tarvexProgram, daySearch, currentDir)))) {
    return "cannot write " + runDay + ": " + std::strerror(errno);
  }
  return DaySetup{std::move(workdir), currentDir, std::move(daySearch),
                  std::move(*dayStartMessages)};
}

}  // namespace tarvex::shard
