// A text file read line by line, split on the line feed alone, for the criteria lists and the
// dump list.
//
// Lines are handed out verbatim: the LF is not part of a line, and nothing else is removed (a CR
// before the LF, blanks and NUL bytes stay). A last line without a closing LF is a line like any
// other; a file that ends in LF has no further line after it; two LFs in a row give an empty
// line. Reading stops at the end of the file or at the first failed read, which `readError()`
// then reports; a partial line cut short by a failed read is not handed out. The file owns its
// descriptor and buffer; a line is valid until the next call of `nextLine`.
//
// Opening never hangs and never lets a list pass for empty when it is not one: a directory is
// refused (EISDIR) rather than read as a list that fails at once, and a named pipe gets a bounded
// wait for its writer (input/named_pipe.h) and is refused (ETIMEDOUT) when none comes. Pipes made
// by the shell (`cmd | tarvex --cidrfile /dev/stdin`, process substitution), devices such as
// /dev/null and terminals are read as they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex::input {

class LineFile {
 public:
  /// Opens `path` for reading; see `isOpen()` and `openError()`.
  explicit LineFile(const std::string& path);
  ~LineFile();
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  /// The errno of the failed open (EISDIR for a directory, ETIMEDOUT for a named pipe that no
  /// writer opened in time), or 0.
  int openError() const { return openError_; }

  /// The next line into `line`; false at the end of the file or after a failed read.
  bool nextLine(std::string_view& line);
  /// The errno of the read that failed, or 0 when the file was read to its end.
  int readError() const { return readError_; }

  /// Makes the lines readable a second time (`rewind`). A regular file is read again from its
  /// start; anything else (a pipe, a terminal, a named pipe) yields its bytes once, so it is read
  /// whole into memory now. Call before the first `nextLine`.
  void keepForRewind();
  /// Goes back to the first line, after `keepForRewind`. A list kept in memory hands out the same
  /// lines again, and then the same read error, if one ended it.
  void rewind();

 private:
  /// Checks what was opened, waits for a pipe's writer and leaves the descriptor blocking;
  /// returns the errno that refuses the file, or 0.
  int prepareOpened();
  /// Reads more bytes behind the unconsumed ones; false at the end of the file or on error.
  bool fill();

  int fd_ = -1;
  bool regularFile_ = false;
  bool keptInMemory_ = false;
  int openError_ = 0;
  int readError_ = 0;
  bool atEnd_ = false;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // first byte not yet handed out
  std::size_t end_ = 0;    // one past the last byte read
};

/// What every list (the criteria lists, the dump list) says when it cannot be opened: this text
/// and its path.
inline constexpr std::string_view kCannotOpenList = "Couldn't open file ";

/// "Couldn't open file PATH" and a line feed.
std::string cannotOpenMessage(const std::string& path);

/// The "tarvex: " warning of line `number` of the list at `path` when `line` holds a NUL byte: a
/// path or a CIDR block ends there, as a C string does, so only the text before it is read. Lists
/// take one entry a line; NUL-separated entries (find -print0) read as one line. Empty when the
/// line holds no NUL.
std::string nulByteWarning(const std::string& path, std::size_t number, std::string_view line);

/// How the message begins of a list at `path` whose read failed part way (the line count, the
/// reason and the consequence follow); tarvex-shard recognises a day that failed so by it.
std::string readErrorPrefix(const std::string& path);

/// The "tarvex: " message of a list whose read failed with `error` after `lines` lines: what
/// was read, why it stopped, and `consequence` (what the run does about it).
std::string readErrorMessage(const std::string& path, std::size_t lines, int error,
                             std::string_view consequence);

}  // namespace tarvex::input
