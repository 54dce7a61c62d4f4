// tarvex-shard's command line: its own options, recognised only when spelled out in full, and
// everything else, which is tarvex's and is read with tarvex's own option table and parser, so
// that each value lands where it lands in a single run. The words no shard option takes are
// kept in order: they are the single run's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/search_settings.h"
#include "shard/engines.h"

namespace tarvex::shard {

struct ShardOptions {
  std::string engineName = "local";               // --engine as written
  std::optional<Engine> engine = Engine::kLocal;  // what it names; nothing when it names none
  std::string jobs;                               // as written; empty when not given
  std::vector<std::string> sshLogins;
  std::vector<std::string> sbatchOptions;
  std::string workdir;
  std::string tarvexProgram;
  bool keepWorkdir = false;
  bool listDays = false;
  bool detach = false;
  bool help = false;  // --help: the caller prints the usage text and ends

  /// The command line less the shard options: what a single tarvex run is given.
  std::vector<std::string> tarvexArgs;
  /// tarvex's parser rejects `tarvexArgs` (or asks for its help): tarvex is the one to answer.
  bool tarvexRefuses = false;
  /// What tarvex reads from `tarvexArgs`; filled only when `tarvexRefuses` is false.
  SearchSettings search;
};

/// Reads `args` (the arguments after the program name) into `options`. Stops at --help. Returns
/// the message for a shard option that has no value (without the "tarvex-shard: " prefix).
std::optional<std::string> parseShardOptions(const std::vector<std::string>& args,
                                             ShardOptions& options);

/// The problems of the shard options among themselves: an unknown engine, a --jobs that is not
/// a positive number, an option of another engine. `installed(program)` tells whether a program
/// is on the PATH. Returns the first problem's message.
std::optional<std::string> checkShardOptions(const ShardOptions& options,
                                             bool (*installed)(const std::string& program));

}  // namespace tarvex::shard
