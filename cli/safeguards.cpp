// Checks before the database is touched, and the words of a failed close
// (see safeguards.h).
#include "safeguards.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>

#include "data/provider.h"

namespace marl::cli {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

[[noreturn]] void Fault(size_t pos, const std::string& what) {
  throw UsageError("the connection property string is malformed at position " +
                   std::to_string(pos + 1) + ": " + what);
}

}  // namespace

void CheckPropertyString(const std::string& s) {
  std::set<std::string> keys;
  size_t i = 0;
  while (i < s.size()) {
    const size_t eq = s.find('=', i);
    const size_t semi = s.find(';', i);
    if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
      const size_t end = semi == std::string::npos ? s.size() : semi;
      if (Trim(s.substr(i, end - i)).empty() && end == s.size()) break;
      Fault(i, "\"" + s.substr(i, end - i) + "\" is not a pair key=value");
    }
    const std::string key = Trim(s.substr(i, eq - i));
    if (key.empty()) {
      Fault(i, "a pair without a key (the pairs after it would be ignored)");
    }
    if (!keys.insert(Lower(key)).second)
      Fault(i, "key " + key + " given twice");
    size_t v = eq + 1;
    while (v < s.size() && s[v] == ' ') ++v;
    size_t next = std::string::npos;
    if (v < s.size() && s[v] == '{') {
      const size_t close = s.find('}', v + 1);
      if (close == std::string::npos) {
        Fault(v, "the \"{\" of " + key + " has no closing \"}\"");
      }
      next = s.find(';', close + 1);
      const size_t end = next == std::string::npos ? s.size() : next;
      if (!Trim(s.substr(close + 1, end - close - 1)).empty()) {
        Fault(close + 1, "text after the \"}\" that closes " + key);
      }
    } else {
      next = s.find(';', v);
    }
    if (next == std::string::npos) break;
    i = next + 1;
  }
  for (const char* needed :
       {"ConnectString", "DBMS Name", "DBMS Version", "LANGUAGE"}) {
    if (keys.count(Lower(needed)) == 0) {
      throw UsageError(
          std::string("the connection property string has no ") + needed +
          " (needed: ConnectString, DBMS Name, DBMS Version, LANGUAGE)");
    }
  }
}

void CheckTraceFile(const std::string& trace, const Target& target) {
  namespace fs = std::filesystem;
  const data::ConnectionParams params =
      data::ConnectionParams::Parse(target.connect);
  const std::string db = params.Get("data source");
  if (!db.empty() &&
      strcasecmp(params.Get("provider").c_str(), "SQLite") == 0) {
    std::error_code ec;
    const fs::path mine = fs::weakly_canonical(trace, ec);
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
      const fs::path other = fs::weakly_canonical(db + suffix, ec);
      if (!ec && mine == other) {
        throw UsageError("--trace-sql " + trace +
                         " names the database's own file " + db + suffix);
      }
    }
  }
  const int fd =
      ::open(trace.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    throw UsageError("--trace-sql: cannot open " + trace + ": " +
                     std::strerror(errno));
  }
  ::close(fd);
}

void AnnounceWaits() {
  if (::isatty(STDERR_FILENO) == 0) return;
  data::SetWaitNotice([](int64_t timeout_ms) {
    std::cerr << "Waiting for the database: another connection holds its "
                 "lock (waiting up to "
              << timeout_ms / 1000.0 << " s, the busy timeout) ...\n"
              << std::flush;
  });
}

ProfilePeriod CheckedProfilePeriod(Database& db) {
  auto whole = [&db](const char* category, const char* key, int32_t lo,
                     int32_t hi, const std::string& range) {
    const auto rows =
        db.Rows(std::string("SELECT FValue FROM t_SystemProfile WHERE "
                            "FCategory='") +
                category + "' AND FKey='" + key + "'");
    const std::string name = std::string(category) + " " + key;
    if (rows.empty() || rows[0].empty()) {
      throw Refused("the system profile has no " + name +
                    " (t_SystemProfile); nothing was changed");
    }
    const std::string text = CellText(rows[0][0]);
    const std::string digits = Trim(text);
    int64_t value = -1;
    if (!digits.empty() && digits.size() <= 9 &&
        digits.find_first_not_of("0123456789") == std::string::npos) {
      value = std::stoll(digits);
    }
    if (value < lo || value > hi) {
      throw Refused("the system profile's " + name + " is '" + text +
                    "', not a whole number " + range + "; nothing was changed");
    }
    return static_cast<int32_t>(value);
  };
  ProfilePeriod p;
  p.current.year = whole("CB", "CurrentYear", 1900, 9999, "from 1900 to 9999");
  p.period_count = whole("GL", "PeriodCount", 1, 32767, "from 1 to 32767");
  p.current.period = whole(
      "CB", "CurrentPeriod", 1, p.period_count,
      "from 1 to " + std::to_string(p.period_count) + " (GL PeriodCount)");
  return p;
}

void RaiseEnded(const Error& e, const std::string& what) {
  const std::string& d = e.description();
  if (d.find("database is locked") != std::string::npos ||
      d.find("database is busy") != std::string::npos) {
    throw Refused("the " + what +
                  " could not get the database: another connection (a close "
                  "or reopen, or another program's writer) held its lock "
                  "for the whole busy timeout; " +
                  d + "; nothing was changed");
  }
  Error ended = e;
  ended.set_description(d + " [the " + what +
                        " was rolled back: nothing was changed]");
  throw ended;
}

}  // namespace marl::cli
