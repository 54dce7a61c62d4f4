// The dump list file: one dump file path per line, scanned in file order.
#pragma once

#include "scan/scan_sink.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Scans every path listed in `settings.listFile`, in order, as the file is read. Ends the
/// process with status 1 when the list file cannot be opened.
void scanListFile(const SearchSettings& settings, ScanSink& out);

}  // namespace tarvex
