#include "cli/options.h"

#include <getopt.h>

namespace tarvex {

ParseOutcome parseOptions(int argc, char** argv, SearchSettings& settings) {
  int help = 0;
  // The switches are stored by getopt_long itself; options with values come back as 'a'..'h'.
  // The short-option string is empty, so "-a" is rejected like any unknown option.
  const option longOptions[] = {
      {"verbose", no_argument, &settings.verbose, 1},
      {"or", no_argument, &settings.orMatch, 1},
      {"help", no_argument, &help, 1},
      {"cidrfile", required_argument, nullptr, 'a'},
      {"update", required_argument, nullptr, 'b'},
      {"dir", required_argument, nullptr, 'c'},
      {"startdate", required_argument, nullptr, 'd'},
      {"enddate", required_argument, nullptr, 'e'},
      {"asnfile", required_argument, nullptr, 'f'},
      {"outfile", required_argument, nullptr, 'g'},
      {"file", required_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };

  optind = 0;  // a full reinitialisation, so the parser can run more than once in a process
  for (;;) {
    int index = 0;
    int code = getopt_long(argc, argv, "", longOptions, &index);
    switch (code) {
      case -1:
        // getopt_long has moved every operand behind the options, "--" excluded.
        settings.operands.assign(argv + optind, argv + argc);
        return help ? ParseOutcome::kHelp : ParseOutcome::kRun;
      case 0:
        break;
      case 'a':
        settings.cidrFile = optarg;
        break;
      case 'b':
        settings.updateFiles.emplace_back(optarg);
        break;
      case 'c':
        settings.dirs.emplace_back(optarg);
        break;
      case 'd':
        settings.startDate = optarg;
        break;
      case 'e':
        settings.endDate = optarg;
        break;
      case 'f':
        settings.asnFile = optarg;
        break;
      case 'g':
        settings.outFile = optarg;
        break;
      case 'h':
        settings.listFile = optarg;
        break;
      default:
        return ParseOutcome::kRejected;
    }
  }
}

}  // namespace tarvex
