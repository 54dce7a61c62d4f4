// Runs a program as a child process and captures what it writes, for end-to-end tests; and a
// temporary directory that cleans up after itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvex::testing {

struct RunResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int status = -1;  // exit status, or 128 + signal number when a signal ended the process
};

struct RunOptions {
  std::string workingDirectory;              // empty: the test's own
  std::vector<std::string> environment;      // "NAME=value" entries set on top of the test's own
  std::optional<std::string> standardInput;  // fed to the child; standard input is empty otherwise
  bool mergeStreams = false;  // both streams into `out`, in the order they were written
  std::string stdoutPath;     // when set, standard output goes to this file instead
  int timeoutSeconds = 120;   // the child is killed after this long (status then 128 + 9)
};

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunOptions& options = {});

/// A fresh directory below $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  /// `path()` + "/" + `name`.
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// Creates `path` and its missing parents.
void makeDirectories(const std::string& path);

/// This machine's host name, as a day's run names its host.
std::string hostName();

}  // namespace tarvex::testing

namespace tarvex::testing {
/// Runs `program` without the privilege to read what its owner cannot: as root it runs as the
/// user "nobody" (uid 65534) through setpriv. Empty when that is not possible here (no setpriv,
/// or that user cannot run the program: its `--help` must end with status 1 and some output);
/// tests then skip.
std::optional<RunResult> runWithoutPrivileges(const std::string& program,
                                              const std::vector<std::string>& arguments,
                                              const RunOptions& options);
}  // namespace tarvex::testing

#ifdef TARVEX_BINARY
namespace tarvex::testing {
/// Runs the built tarvex binary.
inline RunResult runTarvex(const std::vector<std::string>& arguments,
                           const RunOptions& options = {}) {
  return runProgram(TARVEX_BINARY, arguments, options);
}

/// Runs the built tarvex binary without the privilege to read what its owner cannot.
inline std::optional<RunResult> runTarvexWithoutPrivileges(
    const std::vector<std::string>& arguments, const RunOptions& options = {}) {
  return runWithoutPrivileges(TARVEX_BINARY, arguments, options);
}
}  // namespace tarvex::testing
#endif
