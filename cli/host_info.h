// Who runs the tool and where, as the close log records it. No database and
// no tool state: the benchmark writes its raw close log row with these too.
#pragma once

#include <string>

namespace marl::cli {

// The operating-system user (its login name, else $USER, else "uid N").
std::string OsUser();
// The host name ("" when it cannot be read).
std::string HostName();

}  // namespace marl::cli
