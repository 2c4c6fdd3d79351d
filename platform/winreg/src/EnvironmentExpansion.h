#pragma once

#include <string>
#include <string_view>

namespace dawdlex::winreg {

// Replaces each %NAME% in text with the value of the environment variable NAME (matched exactly, else
// ignoring case, as names are on the platform whose texts these are). A reference to an unknown variable
// and a lone % stay as they are; scanning goes on after the first % of an unknown reference, so its
// closing % may open the next one.
std::string expandEnvironment(std::string_view text);

} // namespace dawdlex::winreg
