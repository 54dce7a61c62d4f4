#include "shard/day_check.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "input/line_file.h"
#include "output/process_output.h"
#include "shard/file_text.h"

namespace tarvex::shard {

namespace {

// The text from `from` up to the next line feed or the end.
std::string lineAt(const std::string& text, std::size_t from) {
  if (from >= text.size()) return "";
  return text.substr(from, text.find('\n', from) - from);
}

// The first bytes of the file at `path`, at most `count`.
std::string fileHead(const std::string& path, std::size_t count) {
  std::ifstream file(path, std::ios::binary);
  std::string head(count, '\0');
  file.read(head.data(), static_cast<std::streamsize>(count));
  head.resize(static_cast<std::size_t>(file.gcount()));
  return head;
}

}  // namespace

std::optional<std::string> dayFault(const std::string& result, const DayExpectations& expected) {
  const std::string messages = fileText(result + "/stderr");
  const std::string& start = expected.startMessages;
  if (messages.compare(0, start.size(), start) != 0) {
    return "its messages about the criteria lists differ from this host's: " + lineAt(messages, 0);
  }
  const std::string next = lineAt(messages, start.size());
  if (next.starts_with(input::kCannotOpenList) || next.starts_with(kCannotOpenOutputFile)) {
    return next;
  }
  if (expected.verbose && next != "Building list of files...") {
    return "tarvex did not walk the day: " + next;
  }
  if (expected.reportInFile && !std::filesystem::is_regular_file(result + "/report")) {
    return "its report file is missing";
  }
  if (fileHead(result + "/stdout", 8) == "Usage: \n") return "tarvex printed its usage text";
  return std::nullopt;
}

}  // namespace tarvex::shard
