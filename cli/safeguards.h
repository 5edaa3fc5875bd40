// Checks the operator's commands make before they touch the database, and
// the words they end a failed close or reopen with.
//
// - The connection property string of --dsn is read as the component reads
//   it, and refused (UsageError, with the 1-based position of the fault)
//   where the component would silently read something else: a "{" without
//   its "}", text between a "}" and the next ";", a pair without "=", an
//   empty key followed by more pairs (the component stops reading there), a
//   key given twice; and when one of the keys every method reads
//   (ConnectString, DBMS Name, DBMS Version, LANGUAGE) is missing.
// - --trace-sql must name a file that can be opened for appending and that
//   is not the SQLite database itself (nor its -wal, -shm or -journal file).
// - The period a close or reopen starts from: the system profile must hold
//   'CB' 'CurrentYear' and 'CurrentPeriod' and 'GL' 'PeriodCount', each a
//   whole number: the year from 1900 to 9999, the period count from 1 to
//   32767 (periods are 16-bit), the period from 1 to the period count.
//   Otherwise the command is refused (exit 4) naming the key and the value
//   found. The component reads these values more leniently (the leading
//   number of the text, 0 when none); this is the tool's own guard.
#pragma once

#include <string>

#include "marlcheckout/error.h"
#include "operator.h"

namespace marl::cli {

// UsageError naming the position of the first fault.
void CheckPropertyString(const std::string& dsn);

// UsageError when the trace file cannot be opened or is the database.
void CheckTraceFile(const std::string& trace, const Target& target);

// On a terminal, a line on standard error when a connection has waited a
// while for another connection's lock.
void AnnounceWaits();

struct ProfilePeriod {
  YearPeriod current;
  int32_t period_count = 0;
};
// The current period and period count; Refused as described above.
ProfilePeriod CheckedProfilePeriod(Database& db);

// An error that ended a close or reopen (`what`, e.g. "close of 2024/11"),
// in the words the operator needs: a lock that another connection held for
// the whole busy timeout becomes a refusal (exit 4) saying what the command
// waited for and how long; any other error keeps its number and source and
// its description says that nothing was changed. Never returns.
[[noreturn]] void RaiseEnded(const Error& e, const std::string& what);

}  // namespace marl::cli
