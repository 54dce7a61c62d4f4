// The small update dump that end-to-end tests scan next to the files they damage, change or
// fault, and its report under --or: made once per test binary, in a directory of its own that
// goes when the binary ends.
#pragma once

#include <string>

#include "mrt_builder.h"
#include "process_runner.h"
#include "update_dump.h"

namespace tarvex::testing {

/// 800 records from four peers (about 75 KB plain, 25 KB gzip), some 1000 report lines under
/// --or; the path of its gzip file.
inline const std::string& smallDump() {
  static const TempDir directory;
  static const std::string path = [] {
    const std::string file = directory.file("updates.20150401.0000.gz");
    writeFile(file, updateDump({.records = 800, .seed = 6}), Compression::kGzip);
    return file;
  }();
  return path;
}

/// What `tarvex --or --update smallDump()` writes on standard output.
inline const std::string& smallDumpReport() {
  static const std::string report = runTarvex({"--or", "--update", smallDump()}).out;
  return report;
}

}  // namespace tarvex::testing
