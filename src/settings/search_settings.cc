#include "settings/search_settings.h"

namespace tarvex {

InputMode SearchSettings::inputMode() const {
  if (!updateFiles.empty()) return InputMode::kUpdateFiles;
  if (!listFile.empty()) return InputMode::kListFile;
  if (!startDate.empty() && !endDate.empty() && !dirs.empty()) return InputMode::kDateRange;
  return InputMode::kNone;
}

}  // namespace tarvex
