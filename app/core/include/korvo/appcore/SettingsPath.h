// Where the settings file "Account.ini" lives: beside the running executable.
#pragma once

#include <string>

namespace korvo {

// The full path of the settings file: the directory of the running
// executable (from /proc/self/exe), a '/', then "Account.ini". When the
// executable's path cannot be found the result is "Account.ini" alone,
// relative to the current directory. Computed anew at every call, so a
// moved executable is followed. While an override is set (below) the
// override is returned instead.
std::string GetSettingsPath();

// Makes GetSettingsPath return `path` from now on, so that tests of the
// window can point it at a file of their own instead of one beside the test
// executable; an empty `path` removes the override. Not for the program
// itself, which has no configuration. Set it before the code under test runs:
// it is not synchronised with concurrent calls of GetSettingsPath.
void SetSettingsPathOverride(std::string path);

}  // namespace korvo
