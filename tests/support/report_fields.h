// Report lines taken apart for tests. A report line is
//   TIME|W|PEER|ASn|LOCAL|ASn|PREFIX  or  TIME|A|PEER|ASn|LOCAL|ASn|PREFIX|PATH
// and a line feed. The pieces are views into the text they were cut from, valid as long as it.
#pragma once

#include <string_view>
#include <vector>

namespace tarvex::testing {

/// `text` cut at every `separator`: one piece more than there are separators.
inline std::vector<std::string_view> splitAt(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string_view::npos;
       start = at + 1) {
    pieces.push_back(text.substr(start, at - start));
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

/// The lines of `text` without their line feeds; a last line without one counts too.
inline std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines = splitAt(text, '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

/// The fields of one report line, given with or without its line feed.
inline std::vector<std::string_view> reportFields(std::string_view line) {
  if (line.ends_with('\n')) line.remove_suffix(1);
  return splitAt(line, '|');
}

}  // namespace tarvex::testing
