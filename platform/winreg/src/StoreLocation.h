#pragma once

#include "winreg.h"

#include <string>

namespace dawdlex::winreg {

// Where the store file lives, and the folder that holds it: $XDG_CONFIG_HOME/dawdlex (by default
// ~/.config/dawdlex), the folder private to its owner. Does not open or read the store itself.
class StoreLocation
{
public:
    // The store file of the current user under the current environment; "" when no home folder is known.
    static std::string filePath();

    // Creates the folder of filePath (0700, with any missing parents) unless it exists. ERROR_SUCCESS, or
    // ERROR_CANTOPEN when it cannot be created.
    static LSTATUS prepareFolder(const std::string& filePath);
};

} // namespace dawdlex::winreg
