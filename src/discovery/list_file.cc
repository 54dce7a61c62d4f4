#include "discovery/list_file.h"

#include <cstring>
#include <string>
#include <string_view>

#include "criteria/line_file.h"
#include "scan/dump_file_scan.h"

namespace tarvex {

void scanListFile(const SearchSettings& settings, ScanSink& out) {
  LineFile list(settings.listFile);
  if (!list.isOpen()) {
    out.toStderr("Couldn't open file " + settings.listFile + "\n");
    return;
  }
  // Lines split on '\n' alone: a last line without a line feed counts, and a final line feed
  // adds no empty line after it. Each line is scanned before the next one is read.
  std::string_view line;
  std::size_t number = 0;
  while (list.nextLine(line)) {
    ++number;
    scanDumpFile(settings, std::string(line), out);
  }
  // A list that stops at a read error (or a directory, which opens but cannot be read) has
  // paths that were never scanned; an empty report must not pass for a complete one.
  if (list.readError() != 0) {
    out.toStderr("tarvex: " + settings.listFile + ": read error after line " +
                 std::to_string(number) + ": " + std::strerror(list.readError()) +
                 "; the rest of the list is ignored\n");
  }
}

}  // namespace tarvex
