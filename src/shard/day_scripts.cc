#include "shard/day_scripts.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>

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
      "# place when tarvex has ended as a one-day run ends (status 1). A host that does not share\n"
      "# the program, the lists or the archive with the host that started tarvex-shard refuses.\n";
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
      "work=$(mktemp -d \"$days/.$day.XXXXXX\") || exit 2\n"
      "host=$(hostname 2>/dev/null)\n"
      "echo \"$host\" >\"$work/host\"\n";
  text += sharedFilesCheck(shared);
  text +=
      "options+=(\"--startdate=$day\" \"--enddate=$day\")\n"
      "((report_in_file)) && options+=(\"--outfile=$work/report\")\n"
      "((${#operands[@]} > 0)) && options+=(-- \"${operands[@]}\")\n"
      "\"$tarvex\" \"${options[@]}\" >\"$work/stdout\" 2>\"$work/stderr\" </dev/null\n"
      "status=$?\n"
      "echo \"$status\" >\"$work/status\"\n"
      "((status == 1)) || exit 1\n"
      "mv -T \"$work\" \"$days/$day\" 2>/dev/null || { [[ -e $days/$day ]] && rm -rf \"$work\"; "
      "}\n";
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

std::string slurmMergeScript(const std::vector<std::string>& words) {
  std::string text =
      "#!/usr/bin/env bash\n"
      "# Written by tarvex-shard: merges the days once the array has ended.\n"
      "exec";
  for (const std::string& word : words) {
    text += ' ';
    text += shellQuote(word);
  }
  return text + "\n";
}

bool writeScript(const std::string& path, const std::string& text) {
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!(file << text)) return false;
  }
  return ::chmod(path.c_str(), 0755) == 0;
}

}  // namespace tarvex::shard
