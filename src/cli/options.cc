#include "cli/options.h"

namespace tarvex {

namespace {

// getopt_long hands back each option as its code; the short-option string is empty, so "-a" is
// rejected like any unknown option.
enum OptionCode : int {
  kVerbose = 'a',
  kOr,
  kHelp,
  kCidrFile,
  kUpdate,
  kDir,
  kStartDate,
  kEndDate,
  kAsnFile,
  kOutFile,
  kListFile,
};

}  // namespace

const option kLongOptions[] = {
    {"verbose", no_argument, nullptr, kVerbose},
    {"or", no_argument, nullptr, kOr},
    {"help", no_argument, nullptr, kHelp},
    {"cidrfile", required_argument, nullptr, kCidrFile},
    {"update", required_argument, nullptr, kUpdate},
    {"dir", required_argument, nullptr, kDir},
    {"startdate", required_argument, nullptr, kStartDate},
    {"enddate", required_argument, nullptr, kEndDate},
    {"asnfile", required_argument, nullptr, kAsnFile},
    {"outfile", required_argument, nullptr, kOutFile},
    {"file", required_argument, nullptr, kListFile},
    {nullptr, 0, nullptr, 0},
};

ParseOutcome parseOptions(int argc, char** argv, SearchSettings& settings) {
  bool help = false;
  optind = 0;  // a full reinitialisation, so the parser can run more than once in a process
  for (;;) {
    int index = 0;
    int code = getopt_long(argc, argv, "", kLongOptions, &index);
    switch (code) {
      case -1:
        // getopt_long has moved every operand behind the options, "--" excluded.
        settings.operands.assign(argv + optind, argv + argc);
        return help ? ParseOutcome::kHelp : ParseOutcome::kRun;
      case kVerbose:
        settings.verbose = 1;
        break;
      case kOr:
        settings.orMatch = 1;
        break;
      case kHelp:
        help = true;
        break;
      case kCidrFile:
        settings.cidrFile = optarg;
        break;
      case kUpdate:
        settings.updateFiles.emplace_back(optarg);
        break;
      case kDir:
        settings.dirs.emplace_back(optarg);
        break;
      case kStartDate:
        settings.startDate = optarg;
        break;
      case kEndDate:
        settings.endDate = optarg;
        break;
      case kAsnFile:
        settings.asnFile = optarg;
        break;
      case kOutFile:
        settings.outFile = optarg;
        break;
      case kListFile:
        settings.listFile = optarg;
        break;
      default:
        return ParseOutcome::kRejected;
    }
  }
}

}  // namespace tarvex
