// Windows-style paths of old programs on the host: a backslash is a separator, a drive
// letter maps to a directory of its own, and a path that exists as given is used as given.
#pragma once
#include <string>
#include <string_view>

namespace tavrin {

// The host path for a program's path. Tried in order: the path as given when it exists;
// otherwise backslashes become slashes, a leading "X:" is replaced by drive X's directory,
// and each component that does not exist is looked for in its directory without regard
// to letter case (the first match in byte order wins); components not found stay as given.
std::string hostPath(std::string_view path);

// The directory drive `letter` maps to: the environment variable TAVRIN_DRIVE_<LETTER>
// (a relative value is taken from the directory the process started in),
// else $XDG_DATA_HOME/tavrin/drive_<letter> (~/.local/share/... when XDG_DATA_HOME is
// unset), which is created on first use. No trailing slash.
std::string driveDirectory(char letter);

// The directory where the engine keeps files of its own (printer documents):
// $XDG_DATA_HOME/tavrin, created on first use.
std::string dataDirectory();

// Whether a name matches a Windows wildcard pattern: '*' any run, '?' one character (or
// none before a dot or at the end), "*." names without an extension, "*.*" every name;
// letter case is ignored.
bool wildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace tavrin
