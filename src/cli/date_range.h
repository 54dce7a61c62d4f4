// The date range walk: every day from --startdate to --enddate, in calendar order, goes to the
// archive day walk.
//
// The dates are checked for length, then digits, then whether their days exist, then order, and
// the first failing check writes its message (the order error adds the usage text). The
// long-standing messages of the length, digit and order checks go to standard output; a day that
// does not exist in its month (a thirtieth of February, a day 00) gets a "tarvex: " message on
// standard error. Days follow each other by calendar arithmetic on the date text, so the walk is
// the same in every time zone and across daylight-saving changes. A month that does not exist
// (00, 13) passes the checks and is found out when the day after the start is asked for: that
// day has already been scanned, and the walk ends with status 255; an end date in such a month
// ends the walk once a day past it is reached. All output goes through the sink.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

/// The status of a run whose walk met a date text that cannot be read as a date.
inline constexpr int kUnreadableDateStatus = 255;

/// Checks the two dates and scans every day of the range. Returns the exit status: 1 when a
/// date fails a check or only one day was scanned, 0 when two or more days were walked,
/// `kUnreadableDateStatus` when a day's text cannot be read as a date.
int walkDateRange(const SearchSettings& settings, OutputPort& out);

/// The checks of the two dates alone: true when both pass; otherwise the first failing check's
/// message has been written to `out`.
bool checkDateRange(const std::string& start, const std::string& end, OutputPort& out);

/// The walk of a range whose dates passed `checkDateRange`: calls `visitDay` with each day's
/// date text in walk order and returns the status that `walkDateRange` returns. The message of
/// a walk that cannot go on ("Can not parse:") is written to `out` after the last day.
int walkDays(const std::string& start, const std::string& end,
             const std::function<void(const std::string&)>& visitDay, OutputPort& out);

/// The date text (YYYYMMDD) of the day after `dateText`, which must be eight digits naming a day
/// of the calendar. Returns nothing for any other text (a month 13, a thirtieth of February),
/// and for the last day of the year 9999, which has no following date text.
std::optional<std::string> nextDay(std::string_view dateText);

}  // namespace tarvex
