#pragma once

#include <string>

namespace qm::switchletter {

// The letters of the program's switches ("/c:job.sbf", "/v"): the command line reads them and
// the service's registration writes v and b. Only these lower-case letters act.
inline constexpr char ConfigFile = 'c';
inline constexpr char IndexFile = 'f';
inline constexpr char BifFile = 'x';
inline constexpr char ImageFolder = 'a';
inline constexpr char DocType = 't';
inline constexpr char Folder = 'l';
inline constexpr char MaxFiles = 's';
inline constexpr char AllowDupes = 'd';
inline constexpr char RemoveProcessed = 'r';
inline constexpr char PromptWhenFinished = 'w';
inline constexpr char SkipHeader = 'k';
inline constexpr char DebugMode = 'b';
inline constexpr char ManualMode = 'm';
inline constexpr char ServiceMode = 'v';
inline constexpr char CopyCommandLine = 'p';

// The switch as the next argument of a command line: " /v".
inline std::string Appended(char letter) {
    return std::string(" /") + letter;
}

} // namespace qm::switchletter
