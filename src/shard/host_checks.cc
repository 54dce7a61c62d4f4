#include "shard/host_checks.h"

#include <filesystem>

#include "shard/day_scripts.h"
#include "shard/posix_cksum.h"

namespace tarvex::shard {

namespace fs = std::filesystem;

SharedFiles learnSharedFiles(const std::string& tarvexProgram, const SearchSettings& search,
                             const std::string& currentDir) {
  SharedFiles shared{tarvexProgram, cksumLineOfFile(tarvexProgram).value_or(""), {}, {}, {}};
  const auto fromCurrentDir = [&](const std::string& name) {
    return fs::path(name).is_absolute() ? fs::path(name) : fs::path(currentDir) / name;
  };
  for (const std::string& list : {search.cidrFile, search.asnFile}) {
    if (list.empty()) continue;
    // A list this host cannot read ends the run before any day; tarvex says why.
    if (std::optional<std::string> cksum = cksumLineOfFile(fromCurrentDir(list))) {
      shared.lists.emplace_back(list, *cksum);
    }
  }
  for (const std::string& dir : search.dirs) {
    std::error_code error;
    const fs::path path = fromCurrentDir(dir);
    if (!fs::is_directory(path, error)) continue;  // tarvex warns of it on every host alike
    shared.dirs.push_back(dir);
    if (!fs::is_empty(path, error) && !error) shared.filledDirs.push_back(dir);
  }
  return shared;
}

std::string sharedFilesCheck(const SharedFiles& shared) {
  std::string text =
      // Said on standard error first: a full disk would keep the refusal from its file.
      "refuse() {\n"
      "  echo \"tarvex: $host $1\" >&2\n"
      "  echo \"tarvex: $host $1\" 2>/dev/null >\"$work/refused\"\n"
      "  exit 1\n"
      "}\n"
      // A file that cannot be read here is left to tarvex, which names it as a single run does.
      "sameFile() {\n"
      "  local there\n"
      "  there=$(cksum 2>/dev/null <\"$1\") || return 0\n"
      "  [[ $there == \"$2\" ]] ||\n"
      "    refuse \"has another $1 than the host that started tarvex-shard (cksum $there, not "
      "$2)\"\n"
      "}\n";
  if (!shared.tarvexCksum.empty()) {
    const std::string program = shellQuote(shared.tarvexProgram);
    text += "[[ -r " + program + " ]] || refuse \"has no \"" + program + "\n";
    text += "sameFile " + program + " " + shellQuote(shared.tarvexCksum) + "\n";
  }
  for (const auto& [list, cksum] : shared.lists) {
    text += "sameFile " + shellQuote(list) + " " + shellQuote(cksum) + "\n";
  }
  for (const std::string& dir : shared.dirs) {
    const std::string quoted = shellQuote(dir);
    text += "[[ -d " + quoted + "/ ]] ||\n";
    text += "  refuse \"cannot see \"" + quoted +
            "\", a directory on the host that started tarvex-shard\"\n";
  }
  // An archive that is not mounted on a host is usually an empty mount point there.
  for (const std::string& dir : shared.filledDirs) {
    const std::string quoted = shellQuote(dir);
    text += "[[ -z $(ls -A -- " + quoted + "/ 2>/dev/null) ]] &&\n";
    text += "  refuse \"sees nothing in \"" + quoted +
            "\", where the host that started tarvex-shard sees files: is it mounted there?\"\n";
  }
  return text;
}

}  // namespace tarvex::shard
