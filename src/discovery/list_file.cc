#include "discovery/list_file.h"

#include <sys/stat.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "input/line_file.h"
#include "input/message_text.h"
#include "scan/dump_file_scan.h"

namespace tarvex {

namespace {

/// A list saved with CR LF line ends gives paths that end in a CR, and "Can not open PATH\r"
/// looks on screen like a complaint about a good path: say what is at the end. A file really
/// named with a CR opens and earns no word. What is written after `scanDumpFile` returns comes
/// out after that scan's own messages, even when the scan runs on another thread.
void warnOfTrailingCarriageReturn(const SearchSettings& settings, std::size_t number,
                                  const std::string& path, OutputPort& out) {
  if (path.empty() || path.back() != '\r') return;
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) return;
  out.toStderr("tarvex: " + settings.listFile + ":" + std::to_string(number) + ": the path \"" +
               input::escapedForMessage(path) +
               "\" ends in a carriage return (a list with CR LF line ends?)\n");
}

}  // namespace

void scanListFile(const SearchSettings& settings, OutputPort& out, input::LineFile* opened) {
  std::optional<input::LineFile> ownList;
  input::LineFile& list = opened ? *opened : ownList.emplace(settings.listFile);
  if (!list.isOpen()) {
    out.toStderr(input::cannotOpenMessage(settings.listFile));
    return;
  }
  // Lines split on '\n' alone: a last line without a line feed counts, and a final line feed
  // adds no empty line after it. Each line is scanned before the next one is read.
  std::string_view line;
  std::size_t number = 0;
  while (list.nextLine(line)) {
    ++number;
    // A path ends at a NUL byte, as the system reads it; the rest of the line is not searched.
    if (std::string warning = input::nulByteWarning(settings.listFile, number, line);
        !warning.empty()) {
      out.toStderr(warning);
      line = line.substr(0, line.find('\0'));
    }
    std::string path(line);
    scanDumpFile(settings, path, out);
    warnOfTrailingCarriageReturn(settings, number, path, out);
  }
  if (number == 0 && list.readError() == 0) {
    out.toStderr("tarvex: " + settings.listFile +
                 ": the dump list is empty; nothing is searched\n");
  }
  // A list that stops at a read error has paths that were never scanned; an empty report must
  // not pass for a complete one. The paths it did name have been searched, so their report
  // stands.
  if (list.readError() != 0) {
    out.toStderr(input::readErrorMessage(settings.listFile, number, list.readError(),
                                         "the rest of the list is ignored"));
  }
}

}  // namespace tarvex
