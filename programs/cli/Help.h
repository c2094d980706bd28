// The help of the command line, in German or English after the user's locale (LANG and
// friends); everything else the tool prints stays German, as the system it serves.
#pragma once

#include <string>

namespace tarvesk::cli {

// True when LC_ALL, LC_MESSAGES or LANG (the first one set) names German, or none is set
// to a language at all (C, POSIX or empty): the interface is German.
bool GermanHelp();
// The general help ("") or the help of one command with examples; "" for an unknown name.
std::string HelpText(const std::string& command, bool german);

}  // namespace tarvesk::cli
