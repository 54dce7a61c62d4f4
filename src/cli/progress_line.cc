#include "cli/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "scan/scan_statistics.h"

namespace tarvex {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);
constexpr std::string_view kWipe = "\r\033[K";

std::string humanBytes(double bytes) {
  static const char* const kUnits[] = {"B", "kB", "MB", "GB", "TB", "PB"};
  std::size_t unit = 0;
  while (bytes >= 1000 && unit + 1 < std::size(kUnits)) {
    bytes /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

std::size_t terminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1;
  return 79;
}

}  // namespace

ProgressLine::ProgressLine(const ProcessOutput& output) : output_(output) {
  drawer_ = std::thread([this] { drawLoop(); });
}

ProgressLine::~ProgressLine() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  drawer_.join();
  std::lock_guard lock(mutex_);
  wipe();
}

std::string ProgressLine::format(std::uint64_t filesDone, std::uint64_t filesFound,
                                 std::uint64_t bytes, std::uint64_t matches,
                                 std::chrono::steady_clock::duration elapsed) {
  long seconds =
      static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
  double exactSeconds = std::chrono::duration<double>(elapsed).count();
  char clock[32];
  std::snprintf(clock, sizeof clock, "%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  std::string line = "tarvex: " + std::to_string(filesDone) + "/" + std::to_string(filesFound) +
                     " files  " + humanBytes(static_cast<double>(bytes)) + "  " +
                     std::to_string(matches) + (matches == 1 ? " match  " : " matches  ") + clock;
  if (exactSeconds > 0) {
    line += "  " + humanBytes(static_cast<double>(bytes) / exactSeconds) + "/s";
  }
  return line;
}

void ProgressLine::beginWrite(int fd) {
  mutex_.lock();
  if (visible_ && isTerminal(fd)) wipe();
}

void ProgressLine::endWrite(int) {
  mutex_.unlock();
}

void ProgressLine::drawLoop() {
  std::unique_lock lock(mutex_);
  while (!stop_.wait_for(lock, kRedrawInterval, [this] { return stopping_; })) draw();
}

void ProgressLine::draw() {
  const ScanStatistics& statistics = scanStatistics();
  std::uint64_t found = statistics.filesFound.load(std::memory_order_relaxed);
  if (found < 2) return;  // a one-file run shows no progress line
  std::string line = format(statistics.filesDone.load(std::memory_order_relaxed), found,
                            statistics.bytesDone.load(std::memory_order_relaxed),
                            output_.reportLines(), std::chrono::steady_clock::now() - start_);
  // A line wider than the terminal would wrap, and the next redraw could not take it back.
  line.resize(std::min(line.size(), terminalWidth()));
  std::string text(kWipe);
  text += line;
  writeAll(STDERR_FILENO, text);
  visible_ = true;
}

void ProgressLine::wipe() {
  if (!visible_) return;
  writeAll(STDERR_FILENO, kWipe);
  visible_ = false;
}

bool ProgressLine::isTerminal(int fd) {
  if (fd < 0 || static_cast<std::size_t>(fd) >= terminalFds_.size()) return isatty(fd) == 1;
  signed char& known = terminalFds_[static_cast<std::size_t>(fd)];
  if (known == 0) known = isatty(fd) == 1 ? 1 : -1;
  return known == 1;
}

}  // namespace tarvex
