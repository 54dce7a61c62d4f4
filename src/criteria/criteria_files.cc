#include "criteria/criteria_files.h"

#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "criteria/cidr_parser.h"
#include "criteria/ip_set.h"
#include "criteria/line_file.h"

namespace tarvex {

namespace {

/// The IP sets of the process. They belong to the run, not to any settings record, and live
/// until the process ends; holding them here keeps them reachable for leak checkers.
std::vector<std::unique_ptr<IpSet>>& runIpSets() {
  static auto* sets = new std::vector<std::unique_ptr<IpSet>>;
  return *sets;
}

void reportCannotOpen(const std::string& path, ScanSink& messages) {
  messages.toStderr("Couldn't open file " + path + "\n");
}

/// A read that failed part way through a list ends its load with what was read so far; say so,
/// since the list is shorter than the file.
void reportReadError(const std::string& path, const LineFile& file, std::size_t lines,
                     ScanSink& messages) {
  if (file.readError() == 0) return;
  messages.toStderr("tarvex: " + path + ": read error after line " + std::to_string(lines) + ": " +
                    std::strerror(file.readError()) + "; the rest of the list is ignored\n");
}

/// What makes an AS number line unable to equal an origin token, or null. The token is what
/// follows the last space of an AS path text, and path texts hold no tab or carriage return.
const char* neverMatchingCharacter(std::string_view line) {
  for (char c : line) {
    if (c == ' ') return "a space";
    if (c == '\t') return "a tab";
    if (c == '\r') return "a carriage return (a file with CR LF line ends?)";
  }
  return nullptr;
}

}  // namespace

bool readCidrFile(const std::string& path, IpSet& set, ScanSink& messages) {
  LineFile file(path);
  if (!file.isOpen()) {
    reportCannotOpen(path, messages);
    return false;
  }
  std::string_view line;
  std::size_t number = 0;
  CidrBlock block;
  std::string reason;
  while (file.nextLine(line)) {
    ++number;
    if (!parseCidrBlock(line, block, reason)) {
      messages.toStderr("tarvex: " + path + ":" + std::to_string(number) + ": not a CIDR block (" +
                        reason + "); line ignored\n");
      continue;
    }
    if (block.isIpv4) {
      set.insertIpv4(block.ipv4Address, block.prefixLength);
    } else {
      set.insert(block.ipv6Address, block.prefixLength);
    }
  }
  reportReadError(path, file, number, messages);
  set.seal();
  return true;
}

bool loadCidrFile(const std::string& path, const IpSet** setOut, ScanSink& messages) {
  auto set = std::make_unique<IpSet>();
  if (!readCidrFile(path, *set, messages)) return false;
  *setOut = set.get();
  runIpSets().push_back(std::move(set));
  return true;
}

bool loadAsnFile(SearchSettings& settings, ScanSink& messages) {
  LineFile file(settings.asnFile);
  if (!file.isOpen()) {
    reportCannotOpen(settings.asnFile, messages);
    return false;
  }
  std::string_view line;
  std::size_t number = 0;
  bool warned = false;
  while (file.nextLine(line)) {
    ++number;
    if (!warned) {
      if (const char* what = neverMatchingCharacter(line)) {
        messages.toStderr("tarvex: " + settings.asnFile + ":" + std::to_string(number) +
                          ": AS number \"" + escapedForMessage(line) + "\" holds " + what +
                          " and can never match an origin AS\n");
        warned = true;
      }
    }
    settings.asnSet.emplace(line);
  }
  reportReadError(settings.asnFile, file, number, messages);
  return true;
}

}  // namespace tarvex
