// Fuzz target: the criteria list files as files. The input is the content of one list file,
// read three ways: by the line reader, as an AS number list and as a CIDR list. Beyond memory
// safety it checks what the readers promise: the lines joined again give back the file, every
// line of an AS number list is in the set, and every bad line is reported with the list's path,
// a number of a line of the file, in line order, with a reason where its kind has one.
//
// The file lives in memory (memfd) and is opened through its /proc/self/fd path, the way a real
// list is opened by name. Inputs beyond the reader's 64 KiB refill size reach its buffer moves
// and growth; run-bounded gives this target a large enough -max_len.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "criteria/criteria_files.h"
#include "criteria/ip_set.h"
#include "criteria/list_line_reporter.h"
#include "input/line_file.h"
#include "settings/search_settings.h"

namespace {

// Checks each report of a bad line as it comes, and counts them.
class CheckingReporter final : public tarvex::ListLineReporter {
 public:
  CheckingReporter(std::string path, std::size_t lines) : path_(std::move(path)), lines_(lines) {}

  void badLine(const std::string& path, std::size_t number,
               const tarvex::LineProblem& problem) override {
    using Kind = tarvex::LineProblem::Kind;
    if (path != path_ || number < 1 || number > lines_ || number < last_) std::abort();
    if (problem.line.find('\n') != std::string_view::npos) std::abort();
    const bool hasReason =
        problem.kind == Kind::kNotACidrBlock || problem.kind == Kind::kNeverAnOrigin;
    if (problem.reason.empty() == hasReason) std::abort();
    // A reason is part of a one-line message.
    if (problem.reason.find_first_of("\r\n") != std::string_view::npos) std::abort();
    last_ = number;
    ++count;
  }

  std::size_t count = 0;

 private:
  std::string path_;
  std::size_t lines_;
  std::size_t last_ = 0;
};

// An in-memory file holding `content`, closed on destruction.
class MemoryFile {
 public:
  explicit MemoryFile(std::string_view content) : fd_(memfd_create("list", MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
    std::size_t done = 0;
    while (done < content.size()) {
      ssize_t written = ::write(fd_, content.data() + done, content.size() - done);
      if (written <= 0) std::abort();
      done += static_cast<std::size_t>(written);
    }
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  MemoryFile file(content);

  // The lines, joined by line feeds, are the file; a final line feed adds no line.
  std::string joined;
  std::size_t lines = 0;
  {
    tarvex::input::LineFile reader(file.path());
    if (!reader.isOpen()) std::abort();
    std::string_view line;
    while (reader.nextLine(line)) {
      if (line.find('\n') != std::string_view::npos) std::abort();
      if (lines++ != 0) joined.push_back('\n');
      joined.append(line);
    }
    if (reader.readError() != 0) std::abort();
    if (!content.empty() && content.back() == '\n') joined.push_back('\n');
    if (joined != content) std::abort();
  }

  CheckingReporter asnReports(file.path(), lines);
  const auto asns = tarvex::loadAsnFile(file.path(), asnReports);
  if (asns.set == nullptr) std::abort();
  if (asns.set->size() > lines || asnReports.count > lines) std::abort();
  std::size_t start = 0;
  for (std::size_t i = 0; i < lines; ++i) {
    std::size_t end = content.find('\n', start);
    if (end == std::string_view::npos) end = content.size();
    if (!asns.set->contains(content.substr(start, end - start))) std::abort();
    start = end + 1;
  }

  CheckingReporter cidrReports(file.path(), lines);
  const auto cidrs = tarvex::loadCidrFile(file.path(), cidrReports);
  if (cidrs.set == nullptr) std::abort();
  // A line has at most two problems: a NUL byte, and what the text before it is.
  if (cidrReports.count > 2 * lines) std::abort();
  // The block ::/0 holds every address, so it overlaps the sealed set exactly when the set
  // holds a block at all.
  if (cidrs.set->overlaps(tarvex::Ipv6Address{}, 0) == cidrs.set->empty()) std::abort();
  return 0;
}
