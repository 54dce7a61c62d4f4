// Starting the programs tarvex-shard drives (tarvex's day script, GNU parallel, sbatch,
// scancel) and waiting for them. Each child gets its own standard streams as named; the
// descriptors tarvex-shard itself holds (the work directory's lock) are closed on exec.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tarvex::shard {

/// Where one standard stream of a child goes: a file opened with `flags` (O_CREAT files get mode
/// 0666 less the umask). A stream not named is inherited.
struct Redirect {
  int fd;
  std::string path;
  int flags;
};

/// Starts `argv` (the program found on the PATH when its name has no slash) and returns its
/// process id, or -1 when no process could be made. A program that cannot be run ends the child
/// with status 127. With `ignoreInterrupts` the child starts with SIGINT and SIGQUIT ignored, as
/// a shell starts a command in the background.
pid_t startProgram(const std::vector<std::string>& argv, const std::vector<Redirect>& redirects,
                   bool ignoreInterrupts = false);

/// Waits for the child `pid` and returns its status as a shell gives it: the exit status, or
/// 128 plus the signal that ended it.
int waitProgram(pid_t pid);

/// `startProgram` and `waitProgram` in one; -1 when no process could be made.
int runProgram(const std::vector<std::string>& argv, const std::vector<Redirect>& redirects);

/// Whether `name` is an executable file in a directory of the PATH (a shell's "command -v");
/// returns its path, or an empty text.
std::string findOnPath(const std::string& name);

}  // namespace tarvex::shard
