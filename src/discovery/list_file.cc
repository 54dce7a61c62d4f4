#include "discovery/list_file.h"

#include <fstream>
#include <string>

#include "scan/dump_file_scan.h"

namespace tarvex {

void scanListFile(const SearchSettings& settings, ScanSink& out) {
  std::ifstream list(settings.listFile, std::ios::binary);
  if (!list.is_open()) {
    out.toStderr("Couldn't open file " + settings.listFile + "\n");
    return;
  }
  // getline splits on '\n' alone and yields a last line without a line feed, but no empty line
  // after a final line feed: exactly the lines of the file. It stops on a read error as on the
  // end of the file.
  std::string path;
  while (std::getline(list, path)) scanDumpFile(settings, path, out);
}

}  // namespace tarvex
