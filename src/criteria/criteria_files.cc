#include "criteria/criteria_files.h"

#include "criteria/ip_set.h"

namespace tarvex {

// TODO(criteria): read the files.
void loadCidrFile(const std::string& path, const IpSet** setOut) {
  (void)path;
  auto* set = new IpSet();
  set->seal();
  *setOut = set;
}

void loadAsnFile(SearchSettings& settings) {
  (void)settings;
}

}  // namespace tarvex
