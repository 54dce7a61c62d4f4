#include "criteria/criteria_files.h"

#include <string_view>
#include <utility>

#include "criteria/cidr_parser.h"
#include "criteria/origin_token_check.h"
#include "input/line_file.h"

namespace tarvex {

namespace {

using Kind = LineProblem::Kind;

void addCidrLine(const std::string& path, std::size_t number, std::string_view line, IpSet& set,
                 ListLineReporter& reporter) {
  if (line.find('\0') != std::string_view::npos) {
    reporter.badLine(path, number, {.kind = Kind::kNulByte, .line = line});
  }
  CidrBlock block;
  std::string reason;
  if (!parseCidrBlock(line, block, reason)) {
    reporter.badLine(path, number, {.kind = Kind::kNotACidrBlock, .line = line, .reason = reason});
    return;
  }
  if (!block.isIpv4) {
    // Only IPv4 prefixes are reported, so an IPv6 block counts only where it holds the
    // IPv4-mapped addresses (::ffff:10.0.0.0/104 is 10.0.0.0/8).
    if (!holdsIpv4MappedAddresses(block.ipv6Address, block.prefixLength)) {
      reporter.badLine(path, number, {.kind = Kind::kNoIpv4Address, .line = line});
    }
    set.insert(block.ipv6Address, block.prefixLength);
    return;
  }
  // 0 is 0.0.0.0 whichever way it is read, so only another integer may be misread.
  if (block.ipv4FromInteger && block.ipv4Address != 0) {
    reporter.badLine(path, number, {.kind = Kind::kIntegerAddress, .line = line, .block = block});
  }
  set.insertIpv4(block.ipv4Address, block.prefixLength);
}

void addAsnLine(const std::string& path, std::size_t number, std::string_view line,
                SearchSettings::AsnSet& set, ListLineReporter& reporter) {
  if (std::string reason = whyNoOriginMatches(line); !reason.empty()) {
    reporter.badLine(path, number, {.kind = Kind::kNeverAnOrigin, .line = line, .reason = reason});
  }
  set.emplace(line);
}

/// Reads the list at `path` into a new set, each line through `addLine`, and seals it with
/// `seal` once it is read to its end.
template <typename Set, typename AddLine, typename Seal>
ListLoad<Set> loadList(const std::string& path, ListLineReporter& reporter, AddLine addLine,
                       Seal seal) {
  ListLoad<Set> load;
  input::LineFile file(path);
  if (!file.isOpen()) {
    load.failure = {.opened = false, .error = file.openError()};
    return load;
  }
  auto set = std::make_shared<Set>();
  std::string_view line;
  std::size_t number = 0;
  while (file.nextLine(line)) addLine(path, ++number, line, *set, reporter);
  if (file.readError() != 0) {
    load.failure = {.opened = true, .error = file.readError(), .linesRead = number};
    return load;
  }
  seal(*set);
  load.set = std::move(set);
  return load;
}

}  // namespace

ListLoad<IpSet> loadCidrFile(const std::string& path, ListLineReporter& reporter) {
  return loadList<IpSet>(path, reporter, addCidrLine, [](IpSet& set) { set.seal(); });
}

ListLoad<SearchSettings::AsnSet> loadAsnFile(const std::string& path, ListLineReporter& reporter) {
  return loadList<SearchSettings::AsnSet>(path, reporter, addAsnLine,
                                          [](SearchSettings::AsnSet&) {});
}

}  // namespace tarvex
