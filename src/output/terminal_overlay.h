// Something drawn on a terminal (the progress line) that real output must not run into.
//
// The sink that writes to the process's descriptors brackets every write with `beginWrite` and
// `endWrite`, so the overlay can wipe itself from the terminal first and keep out of the way
// until the write is done.
#pragma once

namespace tarvex {

class TerminalOverlay {
 public:
  virtual ~TerminalOverlay() = default;
  /// Before `fd` is written: returns once nothing of the overlay stands where the bytes go.
  virtual void beginWrite(int fd) = 0;
  /// After the write that `beginWrite(fd)` announced.
  virtual void endWrite(int fd) = 0;
};

}  // namespace tarvex
