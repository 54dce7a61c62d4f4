// Starting the programs tarvex-shard drives (tarvex, the day script, GNU parallel, sbatch,
// scancel) and waiting for them. Each child gets its own standard streams as named; the
// descriptors tarvex-shard itself holds (the work directory's lock, the pipes of other children)
// are closed on exec. tarvex-shard ignores SIGPIPE, so that a reader that leaves is an error of a
// write; its children get the default back, as a shell gives it to them. SIGXFSZ stays ignored:
// under a file size limit every program then reports "File too large" rather than die unheard.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tarvex::shard {

/// Where one standard stream of a child goes: a file opened with `flags` (O_CREAT files get mode
/// 0666 less the umask), or a descriptor of tarvex-shard's (`from`, such as a pipe's end). A
/// stream not named is inherited.
struct Redirect {
  int fd;
  std::string path;
  int flags = 0;
  int from = -1;
};

struct SpawnOptions {
  /// The child starts with SIGINT and SIGQUIT ignored, as a shell starts a command in the
  /// background, so that a Ctrl-C reaches only tarvex-shard, which then stops the child its way.
  bool ignoreInterrupts = false;
  /// The child leads a process group of its own, so that it and everything it starts can be
  /// signalled as one, and a Ctrl-C at the terminal does not reach them behind tarvex-shard.
  bool ownProcessGroup = false;
};

/// Starts `argv` (the program found on the PATH when its name has no slash) and returns its
/// process id, or -1 when no process could be made. A program that cannot be run ends the child
/// with status 127.
pid_t startProgram(const std::vector<std::string>& argv, const std::vector<Redirect>& redirects,
                   const SpawnOptions& options = {});

/// Waits for the child `pid` and returns its status as a shell gives it: the exit status, or
/// 128 plus the signal that ended it.
int waitProgram(pid_t pid);

/// `startProgram` and `waitProgram` in one; -1 when no process could be made.
int runProgram(const std::vector<std::string>& argv, const std::vector<Redirect>& redirects);

/// Runs `argv` with standard input from /dev/null and standard error discarded, and returns what
/// it wrote on standard output and its status (-1 when no process could be made).
std::pair<std::string, int> programOutput(const std::vector<std::string>& argv);

/// Whether `name` is an executable file in a directory of the PATH (a shell's "command -v");
/// returns its path, or an empty text.
std::string findOnPath(const std::string& name);

}  // namespace tarvex::shard
