// The small real update dump that end-to-end tests scan next to the files they damage, change or
// fault, and its report under --or, made once per test binary.
#pragma once

#include <string>

#include "process_runner.h"

namespace tarvex::testing {

/// RIS rrc06, 795 records (96 KB raw, 11 KB gzip), about 1200 report lines under --or.
inline const std::string kSmallDump =
    std::string(TARVEX_SHARED_DATA) + "/caida/ris.rrc06.updates.1427846400.gz";

/// What `tarvex --or --update kSmallDump` writes on standard output.
inline const std::string& smallDumpReport() {
  static const std::string report = runTarvex({"--or", "--update", kSmallDump}).out;
  return report;
}

}  // namespace tarvex::testing
