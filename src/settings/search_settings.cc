#include "settings/search_settings.h"

namespace tarvex {

void SearchSettings::reset() {
  verbose = 0;
  orMatch = 0;
  cidrSet = nullptr;
  startDate.clear();
  endDate.clear();
  cidrFile.clear();
  asnFile.clear();
  outFile.clear();
  listFile.clear();
}

}  // namespace tarvex
