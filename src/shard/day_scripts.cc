#include "shard/day_scripts.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "shard/file_text.h"
#include "shard/work_directory.h"

namespace tarvex::shard {

namespace {

std::string quotedWords(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += shellQuote(word) + " ";
  return text;
}

}  // namespace

std::string shellQuote(const std::string& word) {
  const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_/.,:=+@%-").find(c) != std::string_view::npos;
  });
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string runDayScript(const std::string& currentDir, const std::string& daysDir,
                         const std::string& tarvexProgram, const SearchSettings& search,
                         const SharedFiles& shared) {
  std::string text =
      "#!/usr/bin/env bash\n"
      "# Written by tarvex-shard: searches one day (the argument) and renames its results into\n"
      "# place when tarvex has ended as a one-day run ends (status 1) and every file of the\n"
      "# result has been written whole. A host that does not share the program, the lists or the\n"
      "# archive with the host that started tarvex-shard refuses. Why a day is not kept is said\n"
      "# on standard error, which the engine hands to tarvex-shard.\n";
  text += "cd " + shellQuote(currentDir) + " || exit 2\n";
  text += "days=" + shellQuote(daysDir) + "\n";
  text += "options=(" + quotedWords(dayRunOptions(search)) + ")\n";
  // The operands come last, after "--", so that tarvex names them as a single run does.
  text += "operands=(" + quotedWords(search.operands) + ")\n";
  text += std::string("report_in_file=") + (search.outFile.empty() ? "0" : "1") + "\n";
  text += "tarvex=" + shellQuote(tarvexProgram) + "\n";
  text +=
      "day=$1\n"
      "[[ -e $days/$day ]] && exit 0\n"
      "host=$(hostname 2>/dev/null)\n"
      // A day kept with a file cut short (a full disk, a file size limit) would be merged as if
      // it were whole: every write is checked, and its failure named with the reason. The small
      // files are written by builtins, so that a day costs no process more; a write that failed
      // is tried once more only to learn why.
      "cannotWrite() {\n"
      "  rm -f \"$1\"\n"
      "  echo \"cannot write $1${2:+: ${2##*: }}\" >&2\n"
      "  exit 1\n"
      "}\n"
      "put() {\n"
      "  printf '%s\\n' \"$2\" 2>/dev/null >\"$1\" && return 0\n"
      "  cannotWrite \"$1\" \"$(printf '%s\\n' \"$2\" 2>&1 >\"$1\")\"\n"
      "}\n"
      // (In a pipeline keep runs in a subshell of its own: its caller ends the day on its status.)
      "keep() {\n"
      "  local error\n"
      "  error=$(cat 2>&1 >\"$1\") || cannotWrite \"$1\" \"$error\"\n"
      "}\n"
      "work=$(mktemp -d \"$days/.$day.XXXXXX\" 2>&1) || {\n"
      "  echo \"cannot create a directory in $days: ${work##*: }\" >&2\n"
      "  exit 1\n"
      "}\n"
      "put \"$work/host\" \"$host\"\n";
  text += sharedFilesCheck(shared);
  text +=
      "options+=(\"--startdate=$day\" \"--enddate=$day\")\n"
      "((report_in_file)) && options+=(\"--outfile=$work/report\")\n"
      "((${#operands[@]} > 0)) && options+=(-- \"${operands[@]}\")\n"
      "{ exec 3>\"$work/stdout\"; } 2>/dev/null ||\n"
      "  cannotWrite \"$work/stdout\" \"$({ : >\"$work/stdout\"; } 2>&1)\"\n"
      // tarvex writes its report itself and says so when it cannot; its messages pass through
      // keep, so that a failure to keep them is seen too.
      "\"$tarvex\" \"${options[@]}\" 2>&1 >&3 3>&- </dev/null | keep \"$work/stderr\"\n"
      "statuses=(\"${PIPESTATUS[@]}\")\n"
      "exec 3>&-\n"
      "((statuses[1] == 0)) || exit 1\n"
      "put \"$work/status\" \"${statuses[0]}\"\n"
      "((statuses[0] == 1)) || exit 1\n"
      "mv -T \"$work\" \"$days/$day\" 2>/dev/null && exit 0\n"
      // Another attempt at the day may have finished first; otherwise the rename failed.
      "[[ -e $days/$day ]] || {\n"
      "  echo \"cannot rename $work to $days/$day\" >&2\n"
      "  exit 1\n"
      "}\n"
      "rm -rf \"$work\"\n";
  return text;
}

std::string slurmTaskScript(const std::string& runDay, const std::string& dayList) {
  std::string text =
      "#!/usr/bin/env bash\n"
      "# Written by tarvex-shard: array task N searches the day on line N+1 of the list.\n"
      "exec ";
  text += shellQuote(runDay);
  text += " \"$(sed -n \"$((SLURM_ARRAY_TASK_ID + 1))p\" ";
  text += shellQuote(dayList);
  return text + ")\"\n";
}

std::string slurmMergeScript(const std::vector<std::string>& words,
                             const std::vector<std::pair<int, std::string>>& inputs) {
  std::string text =
      "#!/usr/bin/env bash\n"
      "# Written by tarvex-shard: merges the days once the array has ended.\n"
      "exec";
  for (const std::string& word : words) {
    text += ' ';
    text += shellQuote(word);
  }
  for (const auto& [fd, path] : inputs) text += " " + std::to_string(fd) + "<" + shellQuote(path);
  return text + "\n";
}

bool writeScript(const std::string& path, const std::string& text) {
  if (const int error = writeFileText(path, text, 0755); error != 0) {
    errno = error;
    return false;
  }
  return ::chmod(path.c_str(), 0755) == 0;
}

}  // namespace tarvex::shard
