// The report line: one line per matching prefix, fields joined by "|".
//
//   TIME|W|PEER|ASpeer|LOCAL|ASlocal|PREFIX
//   TIME|A|PEER|ASpeer|LOCAL|ASlocal|PREFIX|AS PATH
//
// The form is decided by the message as a whole: W when it withdraws IPv4 routes, else A when it
// announces IPv4 routes or carries MP_REACH_NLRI, else no line at all. Session addresses are
// IPv6 text on an IPv6 session, dotted quads otherwise, and "NA" for an all-zero IPv4 address.
#pragma once

#include <cstdint>
#include <string_view>

#include "mrt/bgp_update.h"
#include "output/output_port.h"

namespace tarvex {

/// The report lines of one message. The form and the fields around the prefix are the same for
/// every line of a message, so they are worked out for its first line only. Lines are built in a
/// buffer of the thread; the object must not outlive `entry`.
class MessageLines {
 public:
  explicit MessageLines(const mrt::BgpUpdate& entry) : entry_(entry) {}
  MessageLines(const MessageLines&) = delete;
  MessageLines& operator=(const MessageLines&) = delete;

  /// Writes the report line of `prefixText` in the message to the report channel, as one write.
  void print(std::string_view prefixText, OutputPort& out);

 private:
  const mrt::BgpUpdate& entry_;
  std::size_t headLength_ = 0;  // "TIME|F|PEER|ASn|LOCAL|ASn|" at the front of the buffer
  bool started_ = false;
};

/// `value` in plain unsigned decimal. The text lives in a buffer shared by all calls of the
/// thread and holds the last call's value only.
const char* unsignedToText(std::uint32_t value);

/// Formats an IPv4 prefix as dotted quad, "/", length ("10.0.0.0/8") into `buffer`.
std::string_view formatPrefixText(const mrt::Ipv4Prefix& prefix, char (&buffer)[24]);

}  // namespace tarvex
