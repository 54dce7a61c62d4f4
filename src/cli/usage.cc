#include "cli/usage.h"

#include <unistd.h>

#include "output/process_output.h"

namespace tarvex {

// Option names padded to 20 columns; continuation lines indented by 20 blanks. Some lines end in
// a blank before the newline, and "stucture" is spelled as scripts have always seen it.
const std::string_view kUsageText =
    "Usage: \n"
    "--verbose           Prints extra output\n"
    "--cidrfile=FILE     File containing the CIDR blocks to look for\n"
    "--asnfile=FILE      File containing the Autonomous System Numbers to look for\n"
    "--or                By default, if both --cidrfile and --asnfile are given, \n"
    "                    tarvex looks for matches that satisfy both lists. \n"
    "                    This flag turns that match into an or.\n"
    "--update=FILE       The BGP Update file that is searched\n"
    "--startdate=YYYYMMDD\n"
    "--enddate=YYYYMMDD  The startdate and enddate flags go together.\n"
    "                    This gives a date range to search the BGP Update files.\n"
    "                    See the README for more information about the required \n"
    "                    directory stucture\n"
    "--dir=DIR           The directory containing the Update files used in the date\n"
    "                    range examination\n"
    "--outfile=FILE      The output file for the results.  By default\n"
    "                    it goes to standard out.\n"
    "--file=FILE         A file containing a list of files to search in\n";

void printUsage() {
  writeAll(STDOUT_FILENO, kUsageText);
}

}  // namespace tarvex
