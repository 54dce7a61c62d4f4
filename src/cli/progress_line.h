// The progress line of a long run: one self-updating line on the terminal of standard error,
//
//   tarvex: 12/340 files  1.2 GB  3456 matches  0:01:23  14.5 MB/s
//
// redrawn a few times a second once a second file has been found, and wiped at the end. It is
// only ever shown when standard error is a terminal, so scripts see nothing of it. Any output to
// the same terminal first wipes the line (see `TerminalOverlay`), so report lines and messages
// never mix with it.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "output/process_output.h"
#include "output/terminal_overlay.h"

namespace tarvex {

class ProgressLine final : public TerminalOverlay {
 public:
  /// Starts drawing; `output` supplies the count of report lines and must outlive this object.
  explicit ProgressLine(const ProcessOutput& output);
  /// Stops drawing and wipes the line.
  ~ProgressLine() override;
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void beginWrite(int fd) override;
  void endWrite(int fd) override;

  /// The text of the line for these figures (without the terminal controls).
  static std::string format(std::uint64_t filesDone, std::uint64_t filesFound, std::uint64_t bytes,
                            std::uint64_t matches, std::chrono::steady_clock::duration elapsed);

 private:
  void drawLoop();
  void draw();  // with mutex_ held
  void wipe();  // with mutex_ held
  bool isTerminal(int fd);

  const ProcessOutput& output_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::mutex mutex_;  // held from beginWrite to endWrite, and while drawing
  std::condition_variable stop_;
  bool stopping_ = false;
  bool visible_ = false;
  std::array<signed char, 64> terminalFds_{};  // 0 unknown, 1 a terminal, -1 not
  std::thread drawer_;
};

}  // namespace tarvex
