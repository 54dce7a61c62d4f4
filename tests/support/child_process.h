// A child process under the test's control, for tests of faults in the world around a program:
// a reader that goes away part way, a standard stream that is closed or full, a file size limit,
// a file that changes while the child reads it.
//
// Unlike `runProgram` (process_runner.h), which runs a child to its end, a `ChildProcess` is
// started, then driven step by step: read one line of its standard output, wait until it blocks
// on a full pipe, close the pipe, and finally collect the rest with `finish`, which also reports
// the child's peak memory. The object owns the child and its pipe ends; a child that is still
// running when the object is destroyed is killed.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace tarvex::testing {

struct ChildOptions {
  std::string workingDirectory;  // empty: the test's own
  /// Standard output: a pipe that the test reads (the default), or this file (created or
  /// emptied), or closed when `closeStdout` is set.
  std::string stdoutPath;
  bool closeStdout = false;
  bool closeStderr = false;
  /// Standard input: empty and at its end (the default), or this file, or a pipe that the test
  /// holds open and never writes, so that a child reading it waits for ever.
  std::string stdinPath;
  bool holdStdinOpen = false;
  bool ignoreSigpipe = false;  // the child starts with SIGPIPE ignored, as under `trap '' PIPE`
  std::optional<rlim_t> fileSizeLimit;  // RLIMIT_FSIZE in bytes; SIGXFSZ stays at its default
  int stdoutPipeSize = 0;               // when non-zero, the capacity asked of the stdout pipe
  /// The child leads a process group of its own, as a shell's foreground job does, so that the
  /// test can signal the group as a terminal's Ctrl-C does.
  bool ownProcessGroup = false;
};

struct ChildResult {
  std::string out;      // what was left on standard output after the steps that read it
  std::string err;      // standard error, all of it
  int status = -1;      // exit status, or 128 + signal number when a signal ended the child
  long maxRssKb = -1;   // peak resident set size of the child, in KiB
  bool killed = false;  // the child outlived its time and was killed
};

class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const ChildOptions& options = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  /// Reads standard output up to and including the next line feed; empty at its end or after
  /// `timeoutSeconds`.
  std::string readStdoutLine(int timeoutSeconds = 60);

  /// Waits until a thread of the child sleeps in a write to its standard output, that is, until
  /// the child is held up by the full pipe. False when the child ends, or `timeoutSeconds` pass,
  /// first.
  bool waitUntilBlockedOnStdout(int timeoutSeconds = 60);

  /// Closes the test's end of the stdout pipe: the child's reader has gone away.
  void closeStdout();

  /// Collects everything still to come on both pipes and waits for the child's end; after
  /// `timeoutSeconds` the child is killed.
  ChildResult finish(int timeoutSeconds = 60);

 private:
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  int heldStdinFd_ = -1;
  std::string pendingOut_;
  std::string err_;
};

/// True when this build runs under AddressSanitizer, whose shadow memory and quarantine make
/// peak memory figures meaningless.
bool builtWithAddressSanitizer();

}  // namespace tarvex::testing
