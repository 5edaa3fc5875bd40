// Where an installed copy of the component keeps its data files (schema
// scripts, resource texts): <prefix>/share/marlcheckout, found relative to
// the program or shared library this code was loaded from, so that an
// installation works wherever its prefix is (a package, or `cmake --install
// --prefix P` anywhere).
//
// Thread safety: safe from any thread; the answer is computed once.
#pragma once

#include <string>

namespace marl::platform {

// The data directory of the installation this code runs from: the first
// existing directory among <directory of the shared library or program
// holding this code>/<relative data path> and <directory of the running
// program>/<relative data path>, where the relative paths lead from the
// installed bin/ and lib/ folders to share/marlcheckout. "" when none
// exists, as for a program run from its build tree.
const std::string& InstalledDataDirectory();

}  // namespace marl::platform
