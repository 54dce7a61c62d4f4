#include "criteria/criteria_files.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "criteria/cidr_parser.h"
#include "criteria/ip_set.h"
#include "criteria/origin_token_check.h"
#include "input/line_file.h"
#include "input/message_text.h"

namespace tarvex {

namespace {

/// How many AS number lines that can never match are named one by one; the rest are counted.
constexpr std::size_t kNamedNeverMatchingLines = 5;

/// The IP sets of the process. They belong to the run, not to any settings record, and live
/// until the process ends; holding them here keeps them reachable for leak checkers.
std::vector<std::unique_ptr<IpSet>>& runIpSets() {
  static auto* sets = new std::vector<std::unique_ptr<IpSet>>;
  return *sets;
}

void reportCannotOpen(const std::string& path, OutputPort& messages) {
  messages.toStderr(input::cannotOpenMessage(path));
}

/// A read that failed part way leaves a list shorter than its file, and a search with a shorter
/// list means something else: say so, and tell the caller to search nothing. False then.
bool readToTheEnd(const std::string& path, const input::LineFile& file, std::size_t lines,
                  OutputPort& messages) {
  if (file.readError() == 0) return true;
  messages.toStderr(input::readErrorMessage(path, lines, file.readError(),
                                            "the list is incomplete, so no dump is searched"));
  return false;
}

std::string lineLabel(const std::string& path, std::size_t number) {
  return "tarvex: " + path + ":" + std::to_string(number) + ": ";
}

std::string dottedQuad(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xff) + "." +
         std::to_string((address >> 8) & 0xff) + "." + std::to_string(address & 0xff);
}

bool hasPrefixLength(std::string_view line) {
  return line.find('/') != std::string_view::npos;
}

/// "10/8" is a valid block, 0.0.0.0/8, though its writer most likely meant 10.0.0.0/8: the
/// reading stands, and the warning shows it and what to write instead. A small integer reads
/// as a shortened dotted quad (a bare one as its /8 network), a large one as the integer form
/// it is, which the dotted form says more plainly.
void warnOfIntegerAddress(const std::string& path, std::size_t number, std::string_view line,
                          const CidrBlock& block, OutputPort& messages) {
  const std::uint32_t integer = block.ipv4Address;
  if (integer == 0) return;  // 0 is 0.0.0.0 read either way
  const unsigned length = block.prefixLength;
  const std::uint32_t mask = length == 0 ? 0 : ~std::uint32_t{0} << (32 - length);
  const std::string readAs = dottedQuad(integer & mask) + "/" + std::to_string(length);
  std::string hint;
  if (integer <= 255) {
    const unsigned meantLength = hasPrefixLength(line) ? length : 8;
    hint = "write " + dottedQuad(integer << 24) + "/" + std::to_string(meantLength) +
           " if that is meant";
  } else {
    hint = "write " + readAs + " to say the same plainly";
  }
  messages.toStderr(lineLabel(path, number) + "\"" + input::escapedForMessage(line) +
                    "\": the address " + std::to_string(integer) + " is read as the integer " +
                    dottedQuad(integer) + ", so the block is " + readAs + " (" + hint + ")\n");
}

void addCidrLine(const std::string& path, std::size_t number, std::string_view line, IpSet& set,
                 OutputPort& messages) {
  if (std::string warning = input::nulByteWarning(path, number, line); !warning.empty()) {
    messages.toStderr(warning);
  }
  CidrBlock block;
  std::string reason;
  if (!parseCidrBlock(line, block, reason)) {
    messages.toStderr(lineLabel(path, number) + "not a CIDR block (" + reason +
                      "); line ignored\n");
    return;
  }
  if (!block.isIpv4) {
    // Only IPv4 prefixes are reported, so an IPv6 block counts only where it holds the
    // IPv4-mapped addresses (::ffff:10.0.0.0/104 is 10.0.0.0/8).
    if (!holdsIpv4MappedAddresses(block.ipv6Address, block.prefixLength)) {
      messages.toStderr(lineLabel(path, number) + "\"" + input::escapedForMessage(line) +
                        "\" is an IPv6 block, and only IPv4 prefixes are reported, so it can "
                        "never match\n");
    }
    set.insert(block.ipv6Address, block.prefixLength);
    return;
  }
  if (block.ipv4FromInteger) warnOfIntegerAddress(path, number, line, block, messages);
  set.insertIpv4(block.ipv4Address, block.prefixLength);
}

/// Names the AS number lines that can never match: the first few one by one, the rest in a
/// count at the end, so a list with CR LF line ends does not bury the run's output.
class NeverMatchingLines {
 public:
  NeverMatchingLines(const std::string& path, OutputPort& messages)
      : path_(path), messages_(messages) {}

  void check(std::size_t number, std::string_view line) {
    std::string reason = whyNoOriginMatches(line);
    if (reason.empty()) return;
    if (++count_ > kNamedNeverMatchingLines) return;
    messages_.toStderr(lineLabel(path_, number) + "AS number \"" + input::escapedForMessage(line) +
                       "\" " + reason + " and can never match an origin AS\n");
  }

  void finish() {
    if (count_ <= kNamedNeverMatchingLines) return;
    const std::size_t more = count_ - kNamedNeverMatchingLines;
    messages_.toStderr("tarvex: " + path_ + ": " + std::to_string(more) +
                       (more == 1 ? " more line" : " more lines") +
                       " can never match an origin AS\n");
  }

 private:
  const std::string& path_;
  OutputPort& messages_;
  std::size_t count_ = 0;
};

}  // namespace

bool readCidrFile(const std::string& path, IpSet& set, OutputPort& messages) {
  input::LineFile file(path);
  if (!file.isOpen()) {
    reportCannotOpen(path, messages);
    return false;
  }
  std::string_view line;
  std::size_t number = 0;
  while (file.nextLine(line)) addCidrLine(path, ++number, line, set, messages);
  if (!readToTheEnd(path, file, number, messages)) return false;
  set.seal();
  return true;
}

bool loadCidrFile(const std::string& path, const IpSet** setOut, OutputPort& messages) {
  auto set = std::make_unique<IpSet>();
  if (!readCidrFile(path, *set, messages)) return false;
  *setOut = set.get();
  runIpSets().push_back(std::move(set));
  return true;
}

bool loadAsnFile(SearchSettings& settings, OutputPort& messages) {
  input::LineFile file(settings.asnFile);
  if (!file.isOpen()) {
    reportCannotOpen(settings.asnFile, messages);
    return false;
  }
  NeverMatchingLines neverMatching(settings.asnFile, messages);
  std::string_view line;
  std::size_t number = 0;
  while (file.nextLine(line)) {
    neverMatching.check(++number, line);
    settings.asnSet.emplace(line);
  }
  neverMatching.finish();
  return readToTheEnd(settings.asnFile, file, number, messages);
}

}  // namespace tarvex
