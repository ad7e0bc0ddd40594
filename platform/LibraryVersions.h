#pragma once

// The C libraries the program is linked with, their licences and the versions
// they report at run time (for the info window).

#include <string>
#include <vector>

namespace tarvo::platform {

struct LibraryVersion {
    std::string name;
    std::string licence;  // "LGPL-2.1", "BSD-3-Clause", ...
    std::string version;  // empty when the library does not report one
};

// In a fixed order; the user interface toolkit is not among them.
std::vector<LibraryVersion> LinkedLibraries();

}  // namespace tarvo::platform
