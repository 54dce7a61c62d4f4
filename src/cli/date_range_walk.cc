#include "cli/date_range_walk.h"

namespace tarvex {

// TODO(discovery): walk the days.
int walkDateRange(const SearchSettings& settings, ScanSink& out) {
  (void)settings;
  (void)out;
  return 1;
}

}  // namespace tarvex
