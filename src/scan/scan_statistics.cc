#include "scan/scan_statistics.h"

namespace tarvex {

ScanStatistics& scanStatistics() {
  static ScanStatistics statistics;
  return statistics;
}

}  // namespace tarvex
