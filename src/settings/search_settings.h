// The record of one run: the switches, the criteria and the inputs that the command line names.
//
// The entry point owns the one record of a run, fills it from the options and has the criteria
// files loaded into it; from then on it is only read. Every routine receives it by const
// reference, so no routine can change what another sees. The two criteria sets are made once by
// their list loads and never changed after: a record shares them, so copying one (tarvex-shard
// derives the record of each day from its own) copies no list.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/thread_plan.h"

namespace tarvex {

class IpSet;

/// The one input mode a run takes, the first that applies: the --update dumps, else the --file
/// list, else the date range (both dates and at least one --dir); otherwise none, and the usage
/// text answers.
enum class InputMode { kUpdateFiles, kListFile, kDateRange, kNone };

struct SearchSettings {
  /// Hashes texts of any string type alike, so the AS number set can be asked with a
  /// `std::string_view` without building a string.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  /// Texts compared with the origin token of an AS path; any byte string may be a key. Only
  /// membership is ever asked, once per prefix list, so a hash set keeps that one lookup
  /// independent of the size of the list.
  using AsnSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;

  int verbose = 0;                       // non-zero: progress lines on standard error
  int orMatch = 0;                       // non-zero: one criterion is enough
  std::shared_ptr<const IpSet> cidrSet;  // blocks of the CIDR list, once loaded
  std::shared_ptr<const AsnSet> asnSet;  // lines of the AS number list, once loaded
  std::vector<std::string> dirs;         // archive directories, command-line order
  std::string startDate;                 // first day of the date range, YYYYMMDD
  std::string endDate;                   // last day of the date range, YYYYMMDD
  std::vector<std::string> updateFiles;  // dump files named on the command line
  std::string cidrFile;                  // path of the CIDR list file
  std::string asnFile;                   // path of the AS number list file
  std::string outFile;                   // path of the output file
  std::string listFile;                  // path of the dump list file
  /// Arguments that are no option's value (getopt_long moves them behind the options, with those
  /// after "--"), in command-line order. Nothing reads them as input: they are only named in a
  /// warning, since a shell glob after one --update leaves all its files but the first here.
  std::vector<std::string> operands;
  /// How many threads scan the dumps (worked out from the core count by the command line).
  ThreadPlan threads;

  /// The input mode these settings select.
  InputMode inputMode() const;
};

}  // namespace tarvex
