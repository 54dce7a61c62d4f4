// How the bytes of an input (a path, a line of a list) are shown inside a one-line message.
#pragma once

#include <string>
#include <string_view>

namespace tarvex::input {

/// `text` with every byte that would not read well in a one-line message written as an escape
/// (\r, \t, \n, \\, \" or \xHH), so a carriage return or a tab shows in a warning.
std::string escapedForMessage(std::string_view text);

}  // namespace tarvex::input
