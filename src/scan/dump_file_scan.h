// The dump file scan: the one place where a dump file is opened and read.
//
// Every input mode hands it one path at a time. Each UPDATE message of the file goes to the
// update walk; a file that cannot be opened is reported and skipped. At the end of a file, at most
// four "tarvex: " warnings on standard error name it: what damage stopped it early, how many
// malformed records were skipped, where the data holds nothing but zeros, and how many records
// that can hold routes (RIB dumps, old formats, other BGP4MP subtypes) were not searched. Nothing
// here ends the process: the caller goes on with its next file.
#pragma once

#include <string>
#include <string_view>

#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

/// How the standard output line begins that explains a dump which cannot be opened (the reason
/// follows); tarvex-shard tells it apart from the report lines that share standard output.
inline constexpr std::string_view kErrorStattingFile = "Error statting file: ";

/// Scans the dump at `path` (standard input for "-"; only the first "-" of a run reads it, and
/// any later one is named and not searched). The scan runs through `out.runScan`, so a
/// sink that scans files in parallel may run it on another thread; `settings` must then stay
/// alive until the sink has drained.
void scanDumpFile(const SearchSettings& settings, const std::string& path, OutputPort& out);

}  // namespace tarvex
