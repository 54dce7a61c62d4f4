// What the criteria list loaders find wrong with single lines, handed to whoever loads a list.
//
// A loader decides which lines deserve a word and goes on with the load either way; it never
// writes. The caller implements `ListLineReporter` and chooses what to make of each report: the
// program words it for standard error, a fuzz target checks and counts. The loaders thus depend on
// nothing that writes, and the wording of every message stays in one place.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "criteria/cidr_parser.h"

namespace tarvex {

/// What is wrong with one line of a criteria list.
struct LineProblem {
  enum class Kind {
    /// The line holds a NUL byte: only the text before it is read, as a C string would be.
    kNulByte,
    /// The line is no CIDR block (`reason` says why) and adds nothing to the set.
    kNotACidrBlock,
    /// An IPv6 block that holds no IPv4-mapped address: it is added, but only IPv4 prefixes are
    /// reported, so it can never match.
    kNoIpv4Address,
    /// An IPv4 address written as one non-zero integer, easily taken for a shortened dotted quad:
    /// the block is added as `block` holds it.
    kIntegerAddress,
    /// An AS number line that no origin token can equal (`reason` says why); it is stored all
    /// the same, since lines are matched as they are.
    kNeverAnOrigin,
  };

  Kind kind = Kind::kNotACidrBlock;
  std::string_view line{};    // the whole line, as read
  std::string_view reason{};  // kNotACidrBlock and kNeverAnOrigin: a phrase fit for a message
  CidrBlock block{};          // kIntegerAddress: the block as read
};

/// Receives the problems of the lines of a list while it loads.
class ListLineReporter {
 public:
  virtual ~ListLineReporter() = default;

  /// Line `number` (counted from 1) of the list at `path` is bad, because of `problem`. Calls
  /// come in line order, a line may have more than one; the views in `problem` last for the
  /// call only.
  virtual void badLine(const std::string& path, std::size_t number, const LineProblem& problem) = 0;
};

}  // namespace tarvex
