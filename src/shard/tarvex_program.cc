#include "shard/tarvex_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cli/usage.h"
#include "shard/spawn.h"

namespace tarvex::shard {

namespace fs = std::filesystem;

namespace {

// tarvex ends with status 1 after its usage text, whatever asked for it.
constexpr int kUsageStatus = 1;

std::optional<std::string> checkProgram(const std::string& program) {
  struct stat status;
  const bool found = ::stat(program.c_str(), &status) == 0;
  if (found && S_ISDIR(status.st_mode)) return program + " is a directory, not the tarvex program";
  if (!found || !S_ISREG(status.st_mode) || ::access(program.c_str(), X_OK) != 0) {
    return program + " is not an executable program";
  }
  const auto [help, exitStatus] = programOutput({program, "--help"});
  if (help != kUsageText || exitStatus != kUsageStatus) {
    return program + " is not tarvex: its --help does not print tarvex's usage text";
  }
  return std::nullopt;
}

}  // namespace

std::string resolvedPath(const std::string& path) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
  return error ? path : resolved.string();
}

std::optional<std::string> findTarvex(std::string& program) {
  if (program.empty()) {
    const std::string here = resolvedPath("/proc/self/exe");
    const std::string beside = fs::path(here).parent_path().string() + "/tarvex";
    if (::access(beside.c_str(), X_OK) == 0) {
      program = beside;
    } else {
      program = findOnPath("tarvex");
      if (program.empty()) return std::string("no tarvex found; name it with --tarvex");
    }
  }
  if (std::optional<std::string> problem = checkProgram(program)) return problem;
  program = resolvedPath(program);
  return std::nullopt;
}

}  // namespace tarvex::shard
