// The dump list file: one dump file path per line, scanned in file order.
//
// Lines end at a line feed alone and are used verbatim: no trimming (a carriage return stays part
// of the path), no comments, and empty lines and repeated paths are handed on like any other.
// The list is read as the scan proceeds, one line in memory at a time, so neither the length of a
// line nor the number of lines is limited. A list file that cannot be opened (a directory, a named
// pipe without a writer among them) is reported on the sink's standard error and nothing is
// scanned. A read failure part-way ends the list with a "tarvex: " warning that names the list
// and the line it got to, so that the paths it never reached are not mistaken for paths without
// matches. A path that ends in a carriage return and cannot be opened gets a warning after the
// scan's own "Can not open" line, since the CR does not show on screen. A line that holds a NUL
// byte (a list written by find -print0) is read up to it, with a warning, and a list that names
// no dump at all gets one too: either would otherwise look like a search that found nothing.
#pragma once

#include "input/line_file.h"
#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Scans every path listed in `settings.listFile`, in order, as the file is read. When the list
/// file cannot be opened it writes "Couldn't open file PATH" and returns without scanning; the
/// caller ends the run with status 1 either way. `opened`, when given, is that list opened
/// already (and read before, then rewound); it is read instead of opening the file again.
void scanListFile(const SearchSettings& settings, OutputPort& out,
                  input::LineFile* opened = nullptr);

}  // namespace tarvex
