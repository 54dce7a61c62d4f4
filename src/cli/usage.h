// The usage text of the command line.
#pragma once

#include <string_view>

namespace tarvex {

/// The usage text, byte for byte as printed.
extern const std::string_view kUsageText;

/// Writes the usage text to standard output.
void printUsage();

}  // namespace tarvex
