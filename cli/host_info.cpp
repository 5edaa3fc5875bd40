#include "host_info.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace marl::cli {

std::string OsUser() {
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) {
    return pw->pw_name;
  }
  const char* user = std::getenv("USER");
  return user ? user : "uid " + std::to_string(::geteuid());
}

std::string HostName() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0) return "";
  return buf;
}

}  // namespace marl::cli
