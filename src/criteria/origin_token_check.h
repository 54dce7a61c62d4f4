// Which lines of the AS number list can never equal an origin token, and why.
//
// The AS number list is matched verbatim against the origin token of each AS path: the text after
// the last space of the path as tarvex prints it. That token is a decimal AS number (no leading
// zero, at most 4294967295), an AS set "{a,b}", a confederation set "[a,b]", the end of a
// confederation sequence ("b)", or "(a)" when it holds one AS), or empty. A list line of any
// other form is kept all the same, since the matching rule takes lines as they are; this check
// only finds the lines that cannot work, so the user hears of them.
#pragma once

#include <string>
#include <string_view>

namespace tarvex {

/// Why `line` can never equal an origin token, as a phrase that follows the quoted line
/// ("holds a space", "has a leading zero", ...); empty when it can.
std::string whyNoOriginMatches(std::string_view line);

}  // namespace tarvex
