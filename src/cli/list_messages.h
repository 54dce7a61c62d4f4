// What a run says about its criteria lists while they load, all on standard error: a warning for
// each line that cannot work as written, and why a list that failed to load is not searched.
//
// The loaders decide which lines are bad (criteria_files.h); the wording is the program's own and
// lives here. Lines are named with "tarvex: PATH:N: ". AS number lines that can never match are
// named one by one up to five; any more are counted in one warning after the list, so a list
// with CR LF line ends does not bury the run's output. Every other bad line is named, each as it
// is read.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>

#include "criteria/criteria_files.h"
#include "criteria/list_line_reporter.h"
#include "output/output_port.h"

namespace tarvex {

/// Words the bad lines of one list load as warnings to `out`.
class ListLineWarnings final : public ListLineReporter {
 public:
  explicit ListLineWarnings(OutputPort& out) : out_(out) {}

  void badLine(const std::string& path, std::size_t number, const LineProblem& problem) override;

  /// Ends the list at `path`: counts the AS number lines that can never match beyond those named.
  void finish(const std::string& path);

 private:
  OutputPort& out_;
  std::size_t neverAnOrigin_ = 0;  // AS number lines that can never match, so far
};

/// The message of a list at `path` that could not be loaded: "Couldn't open file PATH" when it
/// did not open, a "tarvex: " message naming the line reached when its read failed part way.
std::string listFailureMessage(const std::string& path, const ListFailure& failure);

/// The set of the list at `path`, loaded by `load` (loadCidrFile or loadAsnFile) with its
/// warnings written to `out`; null, with the reason written, when the load failed.
template <typename Set>
std::shared_ptr<const Set> loadListTellingOf(ListLoad<Set> (*load)(const std::string&,
                                                                   ListLineReporter&),
                                             const std::string& path, OutputPort& out) {
  ListLineWarnings warnings(out);
  ListLoad<Set> loaded = load(path, warnings);
  warnings.finish(path);
  if (loaded.set == nullptr) out.toStderr(listFailureMessage(path, loaded.failure));
  return std::move(loaded.set);
}

}  // namespace tarvex
