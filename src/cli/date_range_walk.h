// The date range walk: every day from --startdate to --enddate, in calendar order, goes to the
// archive day walk.
//
// The dates are checked for length, then digits, then order, and the first failing check writes
// its message to standard output (the order error adds the usage text). Days follow each other by
// calendar arithmetic on the date text, so the walk is the same in every time zone and across
// daylight-saving changes. A text that is not a date (month 13, day 00) is found out when the day
// after it is asked for: that day has already been scanned, and the walk ends with status 255.
// A day number past the end of its month (a thirtieth of February) is carried into the next
// month, and an end date that is not a calendar day ends the walk once a day past it is reached.
// All output goes through the sink.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "scan/scan_sink.h"
#include "settings/search_settings.h"

namespace tarvex {

/// The status of a run whose walk met a date text that cannot be read as a date.
inline constexpr int kUnreadableDateStatus = 255;

/// Checks the two dates and scans every day of the range. Returns the exit status: 1 when a
/// date fails its check or only one day was scanned, 0 when two or more days were walked,
/// `kUnreadableDateStatus` when a day's text cannot be read as a date.
int walkDateRange(const SearchSettings& settings, ScanSink& out);

/// The date text (YYYYMMDD) of the day after `dateText`. `dateText` must be eight digits with a
/// month from 01 to 12 and a day from 01 to 31; a day past the end of its month counts on into
/// the next month (20230230 is the 2nd of March, so 20230303 follows). Returns nothing for any
/// other text, and for the last day of the year 9999, which has no following date text.
std::optional<std::string> nextDay(std::string_view dateText);

}  // namespace tarvex
