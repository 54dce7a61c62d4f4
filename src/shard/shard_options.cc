#include "shard/shard_options.h"

#include <getopt.h>

#include <algorithm>
#include <string_view>

#include "cli/options.h"

namespace tarvex::shard {

namespace {

// How many words tarvex's parser takes for the option `word` when `next` (null at the end of
// the command line) follows it: 1, 2 when the next word is its value, 0 when it rejects it.
int tarvexOptionWords(const std::string& word, const std::string* next) {
  std::string program = "tarvex";
  std::string option = word;
  std::string value = next ? *next : std::string();
  char* argv[] = {program.data(), option.data(), next ? value.data() : nullptr, nullptr};
  const int savedOpterr = opterr;
  opterr = 0;  // a look ahead: tarvex itself names a rejected option
  optind = 0;
  int index = 0;
  const int code = getopt_long(next ? 3 : 2, argv, "", kLongOptions, &index);
  opterr = savedOpterr;
  if (code == -1 || code == '?' || code == ':') return 0;
  return optind - 1;
}

std::optional<Engine> engineNamed(const std::string& name) {
  if (name == "local") return Engine::kLocal;
  if (name == "parallel") return Engine::kParallel;
  if (name == "slurm") return Engine::kSlurm;
  return std::nullopt;
}

bool isPositiveNumber(const std::string& text) {
  return !text.empty() && text[0] >= '1' && text[0] <= '9' &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Reads the words of a single run with tarvex's parser; false when it refuses them.
bool readTarvexArgs(const std::vector<std::string>& words, SearchSettings& search) {
  std::vector<std::string> copies = words;
  std::string program = "tarvex";
  std::vector<char*> argv{program.data()};
  for (std::string& word : copies) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int savedOpterr = opterr;
  opterr = 0;
  const ParseOutcome outcome = parseOptions(static_cast<int>(argv.size() - 1), argv.data(), search);
  opterr = savedOpterr;
  return outcome == ParseOutcome::kRun;
}

}  // namespace

std::optional<std::string> parseShardOptions(const std::vector<std::string>& args,
                                             ShardOptions& options) {
  bool onlyOperands = false;
  bool rejected = false;  // tarvex stops at the first rejected option, and so does this reading
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (onlyOperands || arg.size() < 2 || arg[0] != '-') {
      options.tarvexArgs.push_back(arg);  // an operand: tarvex warns that it is not searched
      continue;
    }
    if (arg == "--help") {
      options.help = true;
      return std::nullopt;
    }
    if (arg == "--keep-workdir" || arg == "--detach" || arg == "--list-days") {
      (arg == "--keep-workdir" ? options.keepWorkdir
       : arg == "--detach"     ? options.detach
                               : options.listDays) = true;
      continue;
    }
    const std::string name = arg.substr(0, arg.find('='));
    std::string* single = name == "--engine"    ? &options.engineName
                          : name == "--jobs"    ? &options.jobs
                          : name == "--workdir" ? &options.workdir
                          : name == "--tarvex"  ? &options.tarvexProgram
                                                : nullptr;
    std::vector<std::string>* repeated = name == "--sshlogin"        ? &options.sshLogins
                                         : name == "--sbatch-option" ? &options.sbatchOptions
                                                                     : nullptr;
    if (single || repeated) {
      std::string value;
      if (name.size() < arg.size()) {
        value = arg.substr(name.size() + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return "option " + arg + " needs a value";
      }
      if (single) *single = value;
      if (name == "--engine") options.engine = engineNamed(value);
      if (repeated) repeated->push_back(value);
      continue;
    }

    options.tarvexArgs.push_back(arg);
    if (rejected) continue;
    if (arg == "--") {
      onlyOperands = true;
      continue;
    }
    const std::string* next = i + 1 < args.size() ? &args[i + 1] : nullptr;
    const int words = arg[1] == '-' ? tarvexOptionWords(arg, next) : 0;  // tarvex has no -x
    if (words == 0) rejected = true;
    if (words == 2) options.tarvexArgs.push_back(args[++i]);
  }
  options.tarvexRefuses = rejected || !readTarvexArgs(options.tarvexArgs, options.search);
  return std::nullopt;
}

std::optional<std::string> checkShardOptions(const ShardOptions& options,
                                             bool (*installed)(const std::string& program)) {
  const std::optional<Engine> engine = options.engine;
  if (!engine) return "unknown engine \"" + options.engineName + "\" (local, parallel or slurm)";
  if (engine == Engine::kParallel && !installed("parallel")) {
    return "GNU parallel (parallel) is not installed";
  }
  if (engine == Engine::kSlurm && !installed("sbatch")) return "Slurm's sbatch is not installed";
  if (!options.jobs.empty() && !isPositiveNumber(options.jobs)) {
    return "--jobs needs a positive number, not \"" + options.jobs + "\"";
  }
  if (!options.sshLogins.empty() && engine != Engine::kParallel) {
    return "--sshlogin needs --engine=parallel";
  }
  if (options.detach && engine != Engine::kSlurm) return "--detach needs --engine=slurm";
  if (!options.sbatchOptions.empty() && engine != Engine::kSlurm) {
    return "--sbatch-option needs --engine=slurm";
  }
  return std::nullopt;
}

}  // namespace tarvex::shard
