// The close log: a table of the tool's own, marl_CloseLog, with one row per
// close or reopen attempt (dry runs are not logged). init creates it; any
// command that writes or lists the log creates it in an older database
// where it is missing.
//
// Columns: FID (1, 2, ... in the order of the attempts), FCommand (close,
// reopen), FStarted and FEnded (UTC, "YYYY-MM-DD HH:MM:SS"), FOperator
// (--operator NAME, else the OS user), FHost, FToolVersion, FPeriodFrom
// and FPeriodTo ("2024/11"), FResult (done, refused, failed, rolled back),
// FMessage (the refusal or the error), FSteps (JSON: [{"name", "rows"}]),
// FReconciliation (JSON: {"closing", "opening", "difference"} in total;
// null when none was made).
//
// A done attempt is logged inside the close's own transaction, so the row
// commits with it; a refused, failed or rolled-back attempt is logged after
// the rollback, in a transaction of its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host_info.h"
#include "operator.h"

namespace marl::cli {

inline constexpr const char* kCloseLogTable = "marl_CloseLog";

struct LogEntry {
  int64_t id = 0;
  std::string command;  // close | reopen
  std::string started;
  std::string ended;
  std::string operator_name;
  std::string host;
  std::string version;
  std::string from;
  std::string to;
  std::string result;  // done | refused | failed | rolled back
  std::string message;
  Json steps = Json::array();
  Json reconciliation;  // null or {"closing", "opening", "difference"}
};

// The table's definition in a database product's own dialect, created
// only where missing ("DBMS Name" of the property string; SQLite when
// none).
std::string CloseLogDdl(const std::string& dbms_name);

// Creates the table where it is missing (a script in the database's own
// dialect, outside any transaction).
void EnsureCloseLog(const Target& target);

// Writes one row. Inside a transaction scope it is part of that
// transaction; otherwise it commits on its own.
void WriteCloseLog(const Target& target, const LogEntry& entry);

// Every row, oldest first. A database without the table has none.
std::vector<LogEntry> ReadCloseLog(const Target& target);

// The last done close, if any.
std::optional<LogEntry> LastClose(const Target& target);

Json LogEntryJson(const LogEntry& e);

// The current UTC time as "YYYY-MM-DD HH:MM:SS".
std::string NowUtc();
std::string ToolVersion();

}  // namespace marl::cli
