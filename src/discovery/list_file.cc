#include "discovery/list_file.h"

namespace tarvex {

// TODO(discovery): read the list.
void scanListFile(const SearchSettings& settings, ScanSink& out) {
  (void)settings;
  (void)out;
}

}  // namespace tarvex
