// The corpus of real dumps that some tests read: dumps from many collectors and decoders,
// damaged ones among them, whose point is that they were not made by this project. It lives
// beside the repository, not in it (the build's TARVEX_CORPUS_DIR names it); a test that needs
// it skips with its reason when it is not there, and every other test makes its own dumps.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace tarvex::testing {

inline const std::string& corpusDirectory() {
  static const std::string directory = TARVEX_CORPUS_DIR;
  return directory;
}

/// `name` (a path relative to the corpus, such as "caida/updates.example.bz2") in the corpus.
inline std::string corpusFile(const std::string& name) {
  return corpusDirectory() + "/" + name;
}

inline bool corpusIsHere() {
  return access(corpusDirectory().c_str(), R_OK | X_OK) == 0;
}

/// Why a test that needs the corpus does not run: where it was looked for and how to name it.
inline std::string corpusAbsence() {
  return "the real-dump corpus is not at " + corpusDirectory() +
         " (configure with -DTARVEX_CORPUS_DIR=DIRECTORY to name it)";
}

}  // namespace tarvex::testing

/// Skips the test when the corpus is not there, saying so and why the test needs real dumps.
#define TARVEX_SKIP_WITHOUT_CORPUS(whyRealDumps)                                            \
  do {                                                                                      \
    if (!::tarvex::testing::corpusIsHere()) {                                               \
      GTEST_SKIP() << ::tarvex::testing::corpusAbsence() << "; this test needs it because " \
                   << whyRealDumps;                                                         \
    }                                                                                       \
  } while (false)
