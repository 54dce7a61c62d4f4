// The date range walk: every day from --startdate to --enddate, in calendar order, goes to the
// archive day walk.
#pragma once

#include "scan/scan_sink.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Checks the two dates and scans every day of the range. Returns the exit status: 1 when a
/// date fails its check or the range is one day, 0 when two or more days were walked, 255 when
/// a day's text cannot be read as a date.
int walkDateRange(const SearchSettings& settings, ScanSink& out);

}  // namespace tarvex
