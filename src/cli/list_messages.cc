#include "cli/list_messages.h"

#include <cstdint>
#include <string_view>

#include "input/line_file.h"
#include "input/message_text.h"

namespace tarvex {

namespace {

/// How many AS number lines that can never match are named one by one; the rest are counted.
constexpr std::size_t kNamedNeverMatchingLines = 5;

std::string lineLabel(const std::string& path, std::size_t number) {
  return "tarvex: " + path + ":" + std::to_string(number) + ": ";
}

std::string quoted(std::string_view line) {
  return "\"" + input::escapedForMessage(line) + "\"";
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
std::string integerAddressWarning(std::string_view line, const CidrBlock& block) {
  const std::uint32_t integer = block.ipv4Address;
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
  return quoted(line) + ": the address " + std::to_string(integer) + " is read as the integer " +
         dottedQuad(integer) + ", so the block is " + readAs + " (" + hint + ")\n";
}

}  // namespace

void ListLineWarnings::badLine(const std::string& path, std::size_t number,
                               const LineProblem& problem) {
  using Kind = LineProblem::Kind;
  switch (problem.kind) {
    case Kind::kNulByte:
      // Worded alike for every list, the dump list too.
      out_.toStderr(input::nulByteWarning(path, number, problem.line));
      return;
    case Kind::kNotACidrBlock:
      out_.toStderr(lineLabel(path, number) + "not a CIDR block (" + std::string(problem.reason) +
                    "); line ignored\n");
      return;
    case Kind::kNoIpv4Address:
      out_.toStderr(lineLabel(path, number) + quoted(problem.line) +
                    " is an IPv6 block, and only IPv4 prefixes are reported, so it can never "
                    "match\n");
      return;
    case Kind::kIntegerAddress:
      out_.toStderr(lineLabel(path, number) + integerAddressWarning(problem.line, problem.block));
      return;
    case Kind::kNeverAnOrigin:
      if (++neverAnOrigin_ > kNamedNeverMatchingLines) return;
      out_.toStderr(lineLabel(path, number) + "AS number " + quoted(problem.line) + " " +
                    std::string(problem.reason) + " and can never match an origin AS\n");
      return;
  }
}

void ListLineWarnings::finish(const std::string& path) {
  if (neverAnOrigin_ <= kNamedNeverMatchingLines) return;
  const std::size_t more = neverAnOrigin_ - kNamedNeverMatchingLines;
  out_.toStderr("tarvex: " + path + ": " + std::to_string(more) +
                (more == 1 ? " more line" : " more lines") + " can never match an origin AS\n");
}

std::string listFailureMessage(const std::string& path, const ListFailure& failure) {
  if (!failure.opened) return input::cannotOpenMessage(path);
  // A list shorter than its file would be another query: nothing is searched instead.
  return input::readErrorMessage(path, failure.linesRead, failure.error,
                                 "the list is incomplete, so no dump is searched");
}

}  // namespace tarvex
